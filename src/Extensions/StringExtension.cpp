#include "Extensions/StringExtension.h"

#include "Platform/Bundle.h"
#include "Platform/Locale.h"

#include <QDir>
#include <QTranslator>
#include <memory>
#include <mutex>

namespace {

// The translation table's single context.
constexpr char translationContext[] = "Localizable";

struct LoadedTable {
    QString resourcePath;
    QStringList languages;
    std::unique_ptr<QTranslator> translator; // null when the source texts are shown
};

// The table of the first preferred language the bundle carries: the exact language, its
// base language, or a regional table of the base language ("zh" finds zh_CN). English is
// the source language, so reaching it means the source texts.
std::unique_ptr<QTranslator> loadTable(const QString& resourcePath, const QStringList& languages) {
    for (const QString& language : languages) {
        const QString base = language.section(QLatin1Char('-'), 0, 0);
        if (base == QLatin1String("en"))
            return nullptr;
        QStringList files{QStringLiteral("Localizable_") +
                              QString(language).replace(QLatin1Char('-'), QLatin1Char('_')) +
                              QStringLiteral(".qm"),
                          QStringLiteral("Localizable_") + base + QStringLiteral(".qm")};
        files += QDir(resourcePath)
                     .entryList({QStringLiteral("Localizable_") + base + QStringLiteral("_*.qm")},
                                QDir::Files, QDir::Name);
        for (const QString& file : files) {
            auto translator = std::make_unique<QTranslator>();
            if (translator->load(resourcePath + QLatin1Char('/') + file))
                return translator;
        }
    }
    return nullptr;
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

    const QString resourcePath = Platform::Bundle::main().resourcePath();
    const QStringList languages = Platform::Locale::preferredLanguages();
    std::lock_guard lock(mutex);
    if (table.resourcePath != resourcePath || table.languages != languages)
        table = {resourcePath, languages, loadTable(resourcePath, languages)};
    if (!table.translator)
        return key;
    const QString text = table.translator->translate(translationContext, key.toUtf8().constData());
    return text.isEmpty() ? key : text;
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
