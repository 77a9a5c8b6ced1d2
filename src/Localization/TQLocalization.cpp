#include "Localization/TQLocalization.h"

QString formatted(const QString& pattern, const QStringList& arguments) {
    const QString placeholder = QStringLiteral("%@");
    QString result;
    qsizetype position = 0;
    for (const QString& argument : arguments) {
        const qsizetype found = pattern.indexOf(placeholder, position);
        if (found < 0)
            break;
        result += pattern.mid(position, found - position) + argument;
        position = found + placeholder.size();
    }
    return result + pattern.mid(position);
}
