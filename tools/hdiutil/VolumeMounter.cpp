#include "VolumeMounter.h"

#include "Platform/DiskImageTool.h"
#include "Platform/FileDescriptor.h"
#include "Platform/FileManager.h"
#include "Platform/Process.h"
#include "Platform/SearchPaths.h"
#include "Platform/StandardInput.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <optional>

namespace {

using Platform::FileManager;

enum class ImageKind { None, Udif, Iso };

void say(const QByteArray& text) {
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (!text.endsWith('\n'))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString& message) {
    say("hdiutil: " + message.toUtf8());
    return 1;
}

// A mount point is a plain name directly inside the private Volumes folder of the
// downloader's private folder in the temporary directory.
bool isValidMountPoint(const QString& mountPoint, QString* error) {
    const QFileInfo info(mountPoint);
    const QString volumes = Platform::DiskImageTool::volumesDirectory();
    const QString temporary = Platform::SearchPaths::shared().temporaryDirectory();
    if (!QDir::isAbsolutePath(mountPoint) || QDir::cleanPath(mountPoint) != mountPoint ||
        info.fileName().startsWith(QLatin1Char('.')) || info.path() != volumes) {
        *error = QStringLiteral("%1 is not a mount point under a Volumes folder in %2")
                     .arg(mountPoint, temporary);
        return false;
    }
    if (!Platform::DiskImageTool::volumesDirectoryIsPrivate()) {
        *error = QStringLiteral("%1 is not a private folder of this user").arg(volumes);
        return false;
    }
    return true;
}

QString recordPath(const QString& mountPoint) {
    const QFileInfo info(mountPoint);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".hdiutil");
}

QByteArray identity(const QString& path) {
    return FileManager::shared().folderIdentityAtPath(path);
}

bool holds(const Platform::FileDescriptor& image, qint64 offset, const QByteArray& magic) {
    QByteArray bytes(magic.size(), '\0');
    return image.readAt(offset, bytes.data(), bytes.size()) == bytes.size() && bytes == magic;
}

// UDIF ends in a "koly" trailer; ISO 9660 has "CD001" in its first volume descriptor. Only a
// regular file is read: opening and reading a named pipe or a device could wait for ever.
ImageKind kindOf(const QString& imagePath) {
    const Platform::FileDescriptor image = Platform::FileDescriptor::openForReading(imagePath);
    const qint64 size = image.isRegularFile() ? image.size() : -1;
    if (size < 512)
        return ImageKind::None;
    if (holds(image, size - 512, "koly"))
        return ImageKind::Udif;
    if (holds(image, 32769, "CD001"))
        return ImageKind::Iso;
    return ImageKind::None;
}

QString sevenZipPath() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    return found.isEmpty() ? QStringLiteral("/usr/bin/7zz") : found;
}

// The "Type = " lines of 7-Zip's report, outermost archive first.
QStringList archiveTypes(const QByteArray& output) {
    QStringList types;
    for (const QByteArray& line : output.split('\n'))
        if (line.startsWith("Type = "))
            types.append(QString::fromUtf8(line.mid(7)).trimmed());
    return types;
}

// 7-Zip reports a damaged chunk or item as a warning and still exits 0.
bool reportsTrouble(const QByteArray& output) {
    for (const QByteArray& line : output.split('\n'))
        if (line.startsWith("WARNING") || line.startsWith("ERRORS:") ||
            line.startsWith("Warnings:") || line.startsWith("Errors:") ||
            line.startsWith("Archives with Warnings:") || line.startsWith("Sub items Errors:") ||
            line.startsWith("ERROR:"))
            return true;
    return false;
}

// 7-Zip points an absolute link into its output folder (as named, or with links in its path
// resolved); on a mounted volume it points where it was made to point.
QByteArray originalTarget(const QByteArray& target, const QList<QByteArray>& prefixes) {
    for (const QByteArray& prefix : prefixes) {
        if (target == prefix)
            return QByteArray("/");
        if (target.startsWith(prefix + '/'))
            return target.mid(prefix.size());
    }
    return QByteArray();
}

void restoreAbsoluteLinks(const QString& root, const QString& outputFolder) {
    QList<QByteArray> prefixes{QFile::encodeName(outputFolder)};
    const QString canonical = QFileInfo(outputFolder).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != outputFolder)
        prefixes.append(QFile::encodeName(canonical));
    const FileManager& files = FileManager::shared();
    QDirIterator entries(root,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const std::optional<QByteArray> target = files.linkTargetAtPath(path);
        const QByteArray original = target ? originalTarget(*target, prefixes) : QByteArray();
        if (original.isEmpty())
            continue;
        (void)files.removeItemAtPath(path, nullptr);
        if (!files.createLinkAtPath(path, original))
            say("hdiutil: cannot restore the link " + QFile::encodeName(path));
    }
}

// The folder of 7-Zip's output that is the volume's root: an HFS+ volume comes out inside one
// folder named after the volume; ISO, UDF and (single) APFS volumes come out as they are.
QString volumeRoot(const QString& outputFolder, const QString& fileSystem) {
    if (fileSystem != QLatin1String("HFS"))
        return outputFolder;
    const QFileInfoList entries =
        QDir(outputFolder)
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.size() == 1 && entries.front().isDir() && !entries.front().isSymLink())
        return entries.front().filePath();
    return outputFolder;
}

// Runs 7-Zip on the image into output; the file system of the volume it found, or nothing
// when it did not unpack one whole.
std::optional<QString> extract(const QString& image, const QString& output,
                               const QString& imagePath) {
    Platform::Process sevenZip;
    sevenZip.setLaunchPath(sevenZipPath());
    sevenZip.setArguments({QStringLiteral("x"), QStringLiteral("-snld20"), QStringLiteral("-y"),
                           QStringLiteral("-bsp0"), QStringLiteral("-bse1"),
                           QStringLiteral("-o") + output, image});
    sevenZip.setStandardOutput(Platform::Process::Stream::Pipe);
    if (!sevenZip.launch()) {
        fail(sevenZip.errorString());
        return std::nullopt;
    }
    const QByteArray report = sevenZip.readStandardOutputToEnd().value_or(QByteArray());
    sevenZip.waitUntilExit();
    say(report);
    if (sevenZip.terminationStatus() != 0 || reportsTrouble(report)) {
        fail(QStringLiteral("7-Zip could not unpack %1 whole (exit code %2)")
                 .arg(imagePath)
                 .arg(sevenZip.terminationStatus()));
        return std::nullopt;
    }
    const QStringList types = archiveTypes(report);
    const QString fileSystem = types.isEmpty() ? QString() : types.back();
    static const QStringList volumeTypes{QStringLiteral("HFS"), QStringLiteral("APFS"),
                                         QStringLiteral("Iso"), QStringLiteral("Udf")};
    if (!volumeTypes.contains(fileSystem)) {
        fail(QStringLiteral("%1 holds no volume that can be read").arg(imagePath));
        return std::nullopt;
    }
    return fileSystem;
}

int unpack(const QString& imagePath, ImageKind kind, const QString& record,
           const QString& mountPoint) {
    const QString image = record + (kind == ImageKind::Udif ? QStringLiteral("/image.dmg")
                                                            : QStringLiteral("/image.iso"));
    const QString output = record + QStringLiteral("/unpack");
    // A link with a plain name keeps 7-Zip from reading wildcards or switches in the path.
    if (!QFile::link(QFileInfo(imagePath).absoluteFilePath(), image) ||
        !QDir().mkdir(output, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return fail(QStringLiteral("cannot prepare %1").arg(record));
    const std::optional<QString> fileSystem = extract(image, output, imagePath);
    if (!fileSystem)
        return 1;

    const QString root = volumeRoot(output, *fileSystem);
    restoreAbsoluteLinks(root, output);
    if (!FileManager::shared().moveItemAtPath(root, mountPoint))
        return fail(QStringLiteral("cannot create the mount point %1").arg(mountPoint));
    QString ignored;
    QFile identityFile(record + QStringLiteral("/volume"));
    if (!identityFile.open(QIODevice::WriteOnly) || identityFile.write(identity(mountPoint)) <= 0) {
        (void)FileManager::shared().removeItemAtPath(mountPoint, &ignored);
        return fail(QStringLiteral("cannot record the mount point %1").arg(mountPoint));
    }
    (void)FileManager::shared().removeItemAtPath(image, &ignored);
    if (FileManager::shared().itemExistsAtPath(output))
        (void)FileManager::shared().removeItemAtPath(output, &ignored);
    say(QFile::encodeName(mountPoint));
    return 0;
}

} // namespace

int VolumeMounter::attach(const QString& imagePath, const QString& mountPoint) {
    // The installer always answers a licence prompt.
    Platform::StandardInput::discard();
    QString error;
    if (!isValidMountPoint(mountPoint, &error))
        return fail(error);
    if (FileManager::shared().itemExistsAtPath(mountPoint))
        return fail(QStringLiteral("the mount point %1 exists already").arg(mountPoint));
    const ImageKind kind = kindOf(imagePath);
    if (kind == ImageKind::None)
        return fail(QStringLiteral("%1 is not a disk image that can be read").arg(imagePath));
    const QString record = recordPath(mountPoint);
    if (!QDir().mkdir(record, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return fail(QStringLiteral("cannot create %1").arg(record));
    const int status = unpack(imagePath, kind, record, mountPoint);
    if (status != 0)
        (void)FileManager::shared().removeItemAtPath(record, &error);
    return status;
}

int VolumeMounter::detach(const QString& mountPoint) {
    QString error;
    if (!isValidMountPoint(mountPoint, &error))
        return fail(error);
    const QString record = recordPath(mountPoint);
    QFile identityFile(record + QStringLiteral("/volume"));
    const QByteArray recorded =
        identityFile.open(QIODevice::ReadOnly) ? identityFile.readAll() : QByteArray();
    if (recorded.isEmpty() || recorded != identity(mountPoint))
        return fail(QStringLiteral("%1 is not a volume attached by this tool").arg(mountPoint));
    if (!FileManager::shared().removeItemAtPath(mountPoint, &error))
        return fail(error);
    if (!FileManager::shared().removeItemAtPath(record, &error))
        return fail(error);
    say(QByteArray("\"") + QFile::encodeName(mountPoint) + "\" ejected.");
    return 0;
}
