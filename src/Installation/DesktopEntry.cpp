#include "Installation/DesktopEntry.h"

namespace {

const QString group = QStringLiteral("[Desktop Entry]");

QString escaped(const QString& value) {
    QString text;
    for (const QChar c : value) {
        if (c == u'\\')
            text += QStringLiteral("\\\\");
        else if (c == u'\n')
            text += QStringLiteral("\\n");
        else if (c == u'\t')
            text += QStringLiteral("\\t");
        else if (c == u'\r')
            text += QStringLiteral("\\r");
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            text += c;
    }
    return text.startsWith(u' ') ? QStringLiteral("\\s") + text.mid(1) : text;
}

QString unescaped(const QString& value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != u'\\' || i + 1 == value.size()) {
            text += value.at(i);
            continue;
        }
        const QChar next = value.at(++i);
        text += next == u's'   ? QChar(u' ')
                : next == u'n' ? QChar(u'\n')
                : next == u't' ? QChar(u'\t')
                : next == u'r' ? QChar(u'\r')
                               : next;
    }
    return text;
}

} // namespace

void DesktopEntry::setValue(const QString& key, const QString& value) {
    if (!value.isNull())
        m_values.append({key, value});
}

QByteArray DesktopEntry::text() const {
    QString text = group + u'\n';
    for (const auto& [key, value] : m_values)
        text += key + u'=' + escaped(value) + u'\n';
    return text.toUtf8();
}

QString DesktopEntry::execArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    return quoted + u'"';
}

QString DesktopEntry::value(const QByteArray& text, const QString& key) {
    bool inGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine);
        if (line.trimmed().startsWith(u'[')) {
            inGroup = line.trimmed() == group;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0 || line.left(equals).trimmed() != key)
            continue;
        qsizetype start = equals + 1;
        while (start < line.size() && line.at(start).isSpace())
            ++start;
        return unescaped(line.mid(start));
    }
    return QString();
}
