#include "Platform/URLResponse.h"

#include <QStringDecoder>
#include <optional>
#include <utility>
#include <vector>

namespace Platform {

namespace {

// Splits "attachment; name=value; name2=\"quoted; value\"" into lowercased names and raw
// values; quoted strings lose their quotes and backslash escapes.
std::vector<std::pair<QByteArray, QByteArray>> parameters(const QByteArray& header) {
    std::vector<std::pair<QByteArray, QByteArray>> result;
    qsizetype i = header.indexOf(';');
    while (i >= 0 && i < header.size()) {
        ++i;
        const qsizetype equals = header.indexOf('=', i);
        const qsizetype semicolon = header.indexOf(';', i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) {
            i = semicolon;
            continue;
        }
        const QByteArray name = header.mid(i, equals - i).trimmed().toLower();
        qsizetype j = equals + 1;
        while (j < header.size() && (header[j] == ' ' || header[j] == '\t'))
            ++j;
        QByteArray value;
        if (j < header.size() && header[j] == '"') {
            for (++j; j < header.size() && header[j] != '"'; ++j) {
                if (header[j] == '\\' && j + 1 < header.size())
                    ++j;
                value.append(header[j]);
            }
            i = header.indexOf(';', j);
        } else {
            const qsizetype end = header.indexOf(';', j);
            value = header.mid(j, end < 0 ? -1 : end - j).trimmed();
            i = end;
        }
        result.emplace_back(name, value);
    }
    return result;
}

// RFC 5987 form: charset'language'percent-encoded bytes.
std::optional<QString> extendedValue(const QByteArray& value) {
    const qsizetype first = value.indexOf('\'');
    const qsizetype second = first < 0 ? -1 : value.indexOf('\'', first + 1);
    if (second < 0)
        return std::nullopt;
    const QByteArray charset = value.left(first).toLower();
    const QByteArray bytes = QByteArray::fromPercentEncoding(value.mid(second + 1));
    if (charset == "utf-8") {
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    if (charset == "iso-8859-1")
        return QString::fromLatin1(bytes);
    return std::nullopt;
}

} // namespace

QString URLResponse::suggestedFilenameFor(const QByteArray& contentDisposition, const QUrl& url) {
    std::optional<QString> plain;
    for (const auto& [name, value] : parameters(contentDisposition)) {
        if (name == "filename*") {
            if (std::optional<QString> extended = extendedValue(value);
                extended && !extended->isEmpty())
                return *extended;
        } else if (name == "filename" && !plain) {
            plain = QString::fromUtf8(value);
        }
    }
    if (plain && !plain->isEmpty())
        return *plain;
    const QString last = url.fileName(QUrl::FullyDecoded);
    return last.isEmpty() ? QString() : last;
}

} // namespace Platform
