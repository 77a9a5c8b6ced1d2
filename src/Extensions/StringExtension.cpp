#include "Extensions/StringExtension.h"

#include "Platform/Bundle.h"
#include "Platform/Log.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// The translation table's single context.
constexpr char translationContext[] = "Localizable";

struct LoadedTable {
    QString file;
    std::unique_ptr<QTranslator> translator; // null when the source texts are shown
    QSet<QString> refused;                   // keys whose translation was logged as unfit
};

const QRegularExpression& placeholder() {
    static const QRegularExpression expression(QStringLiteral("%(?:([1-9][0-9]*)\\$)?@"));
    return expression;
}

// The argument each placeholder of a pattern takes, in order.
QList<qsizetype> argumentIndexes(const QString& pattern) {
    QList<qsizetype> indexes;
    qsizetype next = 0;
    for (auto matches = placeholder().globalMatch(pattern); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        indexes += match.hasCaptured(1) ? match.captured(1).toLongLong() - 1 : next++;
    }
    return indexes;
}

// Exactly that file: QTranslator would otherwise fall back to shorter names of its own.
std::unique_ptr<QTranslator> loadTable(const QString& file) {
    auto translator = std::make_unique<QTranslator>();
    return QFileInfo(file).isFile() && translator->load(file) ? std::move(translator) : nullptr;
}

int nameStart(const QString& path) {
    return int(path.lastIndexOf(QLatin1Char('/')) + 1);
}

int extensionDot(const QString& path) {
    const int dot = int(path.lastIndexOf(QLatin1Char('.')));
    return dot > nameStart(path) ? dot : -1;
}

} // namespace

QString localized(const QString& key) {
    static std::mutex mutex;
    static LoadedTable table;

    // English has no table of its own unless a maker ships one: the keys are English.
    const Platform::Bundle bundle = Platform::Bundle::main();
    const QString file = bundle.resourcePath() + QStringLiteral("/Localizable_") +
                         bundle.preferredLocalization() + QStringLiteral(".qm");
    std::lock_guard lock(mutex);
    if (table.file != file)
        table = {file, loadTable(file), {}};
    if (!table.translator)
        return key;
    const QString text = table.translator->translate(translationContext, key.toUtf8().constData());
    if (text.isEmpty())
        return key;
    if (fitsPattern(text, key))
        return text;
    if (!table.refused.contains(key)) {
        table.refused.insert(key);
        Platform::Log::write(QStringLiteral("The translation \"%1\" of \"%2\" in %3 has "
                                            "placeholders its text does not have; using the text")
                                 .arg(text, key, file));
    }
    return key;
}

bool fitsPattern(const QString& translation, const QString& source) {
    static const QRegularExpression foreign(QStringLiteral("%(?:[0-9]+(?![0-9$])|[sd])"));
    if (foreign.match(translation).hasMatch())
        return false;
    const qsizetype count = argumentIndexes(source).size();
    const QList<qsizetype> used = argumentIndexes(translation);
    return std::all_of(used.cbegin(), used.cend(), [count](qsizetype i) { return i < count; });
}

QString formatted(const QString& pattern, const QStringList& arguments) {
    const QList<qsizetype> indexes = argumentIndexes(pattern);
    QString result;
    qsizetype position = 0;
    qsizetype n = 0;
    for (auto matches = placeholder().globalMatch(pattern); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        const qsizetype index = indexes.at(n++);
        result += pattern.mid(position, match.capturedStart() - position);
        result += index >= 0 && index < arguments.size() ? arguments.at(index) : match.captured();
        position = match.capturedEnd();
    }
    return result + pattern.mid(position);
}

QString pathExtension(const QString& path) {
    const int dot = extensionDot(path);
    return dot < 0 ? QString(QLatin1String("")) : path.mid(dot + 1);
}

QString stringByDeletingPathExtension(const QString& path) {
    const int dot = extensionDot(path);
    return dot < 0 ? path : path.left(dot);
}

QString lastPathComponent(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(nameStart(trimmed));
}
