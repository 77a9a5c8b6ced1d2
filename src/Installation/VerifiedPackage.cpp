#include "Installation/VerifiedPackage.h"

#include "Installation/PackageSignature.h"
#include "Platform/FileDescriptor.h"
#include "Platform/Log.h"
#include "Platform/MappedFile.h"

#include <QFileInfo>

std::unique_ptr<VerifiedPackage> VerifiedPackage::verify(const QString& path,
                                                         const QByteArray& publicKey,
                                                         const QByteArray& signature) {
    const Platform::FileDescriptor file = Platform::FileDescriptor::openForReading(path);
    const Platform::MappedFile bytes(file);
    if (!file.isRegularFile() || !bytes.valid()) {
        Platform::Log::write(QStringLiteral("Cannot read the package %1").arg(path));
        return nullptr;
    }
    if (!PackageSignature::verify(publicKey, signature, bytes.data(), bytes.size())) {
        Platform::Log::write(
            QStringLiteral("The signature does not match the package %1").arg(path));
        return nullptr;
    }
    const QFileInfo package(path);
    std::unique_ptr<Platform::ScratchFolder> folder =
        Platform::ScratchFolder::create(package.absolutePath());
    const QString link =
        folder ? folder->path() + QLatin1Char('/') + package.fileName() : QString();
    if (!folder || !file.linkAt(link)) {
        Platform::Log::write(QStringLiteral("Cannot keep the verified package %1").arg(path));
        return nullptr;
    }
    return std::unique_ptr<VerifiedPackage>(new VerifiedPackage(std::move(folder), link));
}
