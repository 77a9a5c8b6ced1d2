#include "Localization/TQLocalization.h"

QString literalMenuText(const QString& text) {
    return QString(text).replace(u'&', QStringLiteral("&&"));
}
