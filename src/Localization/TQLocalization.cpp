#include "Localization/TQLocalization.h"

#include <QRegularExpression>

QString formatted(const QString& pattern, const QStringList& arguments) {
    const QRegularExpression placeholder(QStringLiteral("%(?:([1-9][0-9]*)\\$)?@"));
    QString result;
    qsizetype position = 0;
    qsizetype next = 0;
    for (auto matches = placeholder.globalMatch(pattern); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        const qsizetype index = match.hasCaptured(1) ? match.captured(1).toLongLong() - 1 : next++;
        result += pattern.mid(position, match.capturedStart() - position);
        result += index >= 0 && index < arguments.size() ? arguments.at(index) : match.captured();
        position = match.capturedEnd();
    }
    return result + pattern.mid(position);
}

QString literalMenuText(const QString& text) {
    return QString(text).replace(u'&', QStringLiteral("&&"));
}
