#include "Installation/DesktopIntegration.h"

#include "Branding.h"
#include "Extensions/BundleExtension.h"
#include "Installation/DesktopEntry.h"
#include "Platform/Bundle.h"
#include "Platform/DesktopFiles.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/PrivateFolder.h"
#include "Platform/ScratchFolder.h"
#include "Platform/SearchPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

namespace {

using Platform::ApplicationsFolder;

const QString bundleKey = QStringLiteral("X-Installed-Bundle");
// The sizes of the hicolor theme's application icons.
const QList<int> themeSizes = {16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512};
// What a product's files may claim of the installer's memory.
constexpr qint64 iconBudget = 8 * 1024 * 1024;
constexpr qint64 entryBudget = 64 * 1024;
constexpr int numberedNames = 100;

QString entryPath(const QString& name) {
    return QStringLiteral("applications/") + name + QStringLiteral(".desktop");
}

QString iconPath(int size, const QString& name) {
    return QStringLiteral("icons/hicolor/%1x%1/apps/").arg(size) + name + QStringLiteral(".png");
}

QByteArray readAtMost(const QString& path, qint64 budget) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > budget)
        return {};
    return file.read(budget);
}

// The side of a square PNG image; 0 for anything else.
int squareImageSize(const QByteArray& image) {
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (image.size() < 24 || !image.startsWith(signature) || image.mid(12, 4) != "IHDR")
        return 0;
    const quint32 width = qFromBigEndian<quint32>(image.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(image.constData() + 20);
    return width == height && themeSizes.contains(int(width)) ? int(width) : 0;
}

// The product's icon in the sizes it has: CFBundleIconFile in Resources, as PNG, and beside it
// the same name with "@2x"; by size.
QMap<int, QByteArray> iconImages(const Platform::Bundle& bundle) {
    QString name = bundle.plainString(QStringLiteral("CFBundleIconFile"));
    name.remove(QRegularExpression(QStringLiteral("\\.(png|icns)$")));
    QMap<int, QByteArray> images;
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        return images;
    for (const QString& variant : {name, name + QStringLiteral("@2x")}) {
        const QString path = bundle.resourcePath() + QLatin1Char('/') + variant + ".png";
        const QByteArray image = readAtMost(path, iconBudget);
        const int size = squareImageSize(image);
        if (size > 0 && !images.contains(size))
            images.insert(size, image);
        else if (QFileInfo::exists(path))
            Platform::Log::write(
                QStringLiteral("%1 is no square PNG of an icon theme size").arg(path));
    }
    return images;
}

// The file name of the entry, from the bundle identifier: letters, digits, '.', '_', '-'.
QString baseName(const Platform::Bundle& bundle) {
    QString name = bundle.bundleIdentifier();
    if (name.isEmpty())
        name = QFileInfo(bundle.bundlePath()).completeBaseName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("application") : name;
}

QString displayName(const QVariantMap& settings) {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        const QVariant value = settings.value(QLatin1String(key));
        if (value.typeId() == QMetaType::QString && !value.toString().isEmpty())
            return value.toString();
    }
    return QString();
}

// The installer's ProductCategories, else the product's own DesktopCategories.
QString categories(const Platform::Bundle& bundle) {
    QStringList list = Branding::productCategories();
    if (list.isEmpty())
        list = Branding::categoriesFrom(
            bundle.infoDictionary().value(QStringLiteral("DesktopCategories")));
    return list.isEmpty() ? QString() : list.join(QLatin1Char(';')) + QLatin1Char(';');
}

QByteArray entryText(const Platform::Bundle& bundle, const QString& program, bool hasIcon,
                     const QString& name) {
    DesktopEntry entry;
    entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
    const QString shown = displayName(bundle.infoDictionary());
    entry.setValue(QStringLiteral("Name"),
                   shown.isEmpty() ? QFileInfo(bundle.bundlePath()).completeBaseName() : shown);
    static const QRegularExpression locale(QStringLiteral("^[a-z]{2,3}(_[A-Z]{2})?$"));
    for (const QString& language : bundle.localizations()) {
        const QString localizedName = displayName(bundle.localizedInfoDictionary(language));
        if (locale.match(language).hasMatch() && !localizedName.isEmpty())
            entry.setValue(QStringLiteral("Name[%1]").arg(language), localizedName);
    }
    entry.setValue(QStringLiteral("Exec"), DesktopEntry::execArgument(program));
    entry.setValue(QStringLiteral("TryExec"), program);
    if (hasIcon)
        entry.setValue(QStringLiteral("Icon"), name);
    entry.setValue(QStringLiteral("StartupWMClass"), QFileInfo(program).fileName());
    entry.setValue(QStringLiteral("Categories"), categories(bundle));
    entry.setValue(QStringLiteral("Terminal"), QStringLiteral("false"));
    entry.setValue(bundleKey, bundle.bundlePath());
    return entry.text();
}

bool isMachineWide(const QString& bundlePath) {
    const Platform::SearchPaths& paths = Platform::SearchPaths::shared();
    const QString parent = QFileInfo(bundlePath).path();
    return parent == paths.applicationDirectory(ApplicationsFolder::Local) ||
           parent == paths.applicationDirectory(ApplicationsFolder::System);
}

// The machine-wide data folder for a bundle in a machine-wide applications folder.
QString dataFolderOf(const QString& bundlePath) {
    return Platform::SearchPaths::shared().desktopDataDirectory(
        isMachineWide(bundlePath) ? ApplicationsFolder::Local : ApplicationsFolder::User);
}

QStringList dataFolders() {
    const Platform::SearchPaths& paths = Platform::SearchPaths::shared();
    QStringList folders;
    for (const ApplicationsFolder folder : {ApplicationsFolder::User, ApplicationsFolder::Local}) {
        const QString data = paths.desktopDataDirectory(folder);
        if (!data.isEmpty() && !folders.contains(data))
            folders << data;
    }
    return folders;
}

} // namespace

DesktopIntegration::DesktopIntegration(Platform::FileManager& files,
                                       Installation::PrivilegedRunner runPrivileged)
    : m_files(files), m_runPrivileged(std::move(runPrivileged)) {}

bool DesktopIntegration::add(const QString& bundlePath, QString* error) const {
    const Platform::Bundle bundle(bundlePath);
    const QString executable = bundle.plainString(QStringLiteral("CFBundleExecutable"));
    const QString program = bundle.executablePath();
    const QString data = dataFolderOf(bundlePath);
    if (executable.isEmpty() || executable.contains(QLatin1Char('/')) || executable == "." ||
        executable == ".." || !QFileInfo(program).isFile() || data.isEmpty()) {
        if (error)
            *error = QStringLiteral("the bundle has no program or there is no data folder");
        return false;
    }
    for (const QString& item : itemsOf(bundlePath))
        if (mayWrite(item) && m_files.removeItemAtPath(item, nullptr))
            Platform::Log::write(QStringLiteral("Removed the earlier %1").arg(item));

    const QMap<int, QByteArray> images = iconImages(bundle);
    const QString name = freeName(baseName(bundle), data, images.keys());
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("every name of the entry is taken");
        return false;
    }
    QList<File> files;
    for (auto image = images.cbegin(); image != images.cend(); ++image)
        files.append({iconPath(image.key(), name), image.value()});
    // The entry last, so that the menu never shows it without its icon.
    files.append({entryPath(name), entryText(bundle, program, !images.isEmpty(), name)});
    const bool writable = std::all_of(files.cbegin(), files.cend(), [&](const File& file) {
        return mayWrite(data + QLatin1Char('/') + file.path);
    });
    // The administrator writes only into machine-wide folders, never into the user's own.
    const bool written = !writable && isMachineWide(bundlePath)
                             ? writeAsAdministrator(data, files, error)
                             : write(data, files, error);
    if (!written)
        return false;
    Platform::Log::write(QStringLiteral("Added the menu entry %1/%2").arg(data, entryPath(name)));
    refreshCaches();
    return true;
}

QStringList DesktopIntegration::itemsOf(const QString& bundlePath) const {
    QStringList items;
    for (const QString& data : dataFolders()) {
        const QDir applications(data + QStringLiteral("/applications"));
        for (const QString& file :
             applications.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Hidden)) {
            const QByteArray text = readAtMost(applications.filePath(file), entryBudget);
            if (DesktopEntry::value(text, bundleKey) != bundlePath)
                continue;
            items << applications.filePath(file);
            // Only an icon named after the entry is the entry's own.
            const QString icon = DesktopEntry::value(text, QStringLiteral("Icon"));
            for (const int size : themeSizes) {
                const QString path = data + QLatin1Char('/') + iconPath(size, icon);
                if (icon == file.chopped(8) && m_files.itemExistsAtPath(path))
                    items << path;
            }
        }
    }
    return items;
}

void DesktopIntegration::removeEmptyFolders(const QStringList& items) const {
    const QStringList data = dataFolders();
    for (const QString& item : items) {
        QString folder = QFileInfo(item).path();
        while (!data.contains(folder) && folder != QFileInfo(folder).path() && QDir().rmdir(folder))
            folder = QFileInfo(folder).path();
    }
}

void DesktopIntegration::refreshCaches() const {
    for (const QString& data : dataFolders())
        if (m_files.isWritableFileAtPath(data))
            Platform::DesktopFiles::refreshCaches(data + QStringLiteral("/applications"),
                                                  data + QStringLiteral("/icons/hicolor"));
}

// Whether the user may make `path`: its nearest existing folder is writable.
bool DesktopIntegration::mayWrite(const QString& path) const {
    QString folder = QFileInfo(path).path();
    while (!m_files.itemExistsAtPath(folder) && QFileInfo(folder).path() != folder)
        folder = QFileInfo(folder).path();
    return m_files.isWritableFileAtPath(folder);
}

// The first of base, base-1, base-2 ... whose entry and icons are in none of the data folders.
QString DesktopIntegration::freeName(const QString& base, const QString& data,
                                     const QList<int>& iconSizes) const {
    const QStringList folders = dataFolders() << data;
    for (int number = 0; number < numberedNames; ++number) {
        const QString name = number == 0 ? base : base + QLatin1Char('-') + QString::number(number);
        QStringList paths{entryPath(name)};
        for (const int size : iconSizes)
            paths << iconPath(size, name);
        const bool taken = std::any_of(folders.cbegin(), folders.cend(), [&](const QString& f) {
            return std::any_of(paths.cbegin(), paths.cend(), [&](const QString& path) {
                return m_files.itemExistsAtPath(f + QLatin1Char('/') + path);
            });
        });
        if (!taken)
            return name;
    }
    return QString();
}

// Writes the files one by one; a failure takes back those already written.
bool DesktopIntegration::write(const QString& data, const QList<File>& files,
                               QString* error) const {
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = data + QLatin1Char('/') + files.at(i).path;
        if (Platform::DesktopFiles::writeNewFile(path, files.at(i).contents, error)) {
            Platform::Log::write(QStringLiteral("Wrote %1").arg(path));
            continue;
        }
        for (qsizetype j = 0; j < i; ++j)
            (void)m_files.removeItemAtPath(data + QLatin1Char('/') + files.at(j).path, nullptr);
        return false;
    }
    return true;
}

// The files are made in a private scratch folder and copied into place in one step, so the
// administrator is asked once.
bool DesktopIntegration::writeAsAdministrator(const QString& data, const QList<File>& files,
                                              QString* error) const {
    const std::unique_ptr<Platform::ScratchFolder> scratch =
        Platform::ScratchFolder::create(Platform::PrivateFolder::make(
            Platform::SearchPaths::shared().temporaryDirectory() + installerFolderName()));
    const QString staged = scratch ? scratch->path() + QStringLiteral("/share") : QString();
    if (staged.isEmpty() || !write(staged, files, error))
        return false;
    const int status =
        m_runPrivileged(QStringLiteral("/bin/cp"), {QStringLiteral("-R"), QStringLiteral("--"),
                                                    staged + QStringLiteral("/."), data});
    const bool copied = std::all_of(files.cbegin(), files.cend(), [&](const File& file) {
        return m_files.itemExistsAtPath(data + QLatin1Char('/') + file.path);
    });
    if (status == 0 && copied)
        return true;
    if (error)
        *error =
            QStringLiteral("the administrator's copy into %1 ended with %2").arg(data).arg(status);
    return false;
}
