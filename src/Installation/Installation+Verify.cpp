#include "Installation/Installation.h"

#include "Extensions/BundleExtension.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Installation/InstallationTable.h"
#include "Installation/PackageSignature.h"
#include "Installation/VerifiedPackage.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "TQDownloader.h"

using namespace InstallationTable;

namespace {

// The signature of the package that c1 leads to; nothing, after a log line, when it cannot be
// fetched or is no signature (an error page, say).
std::optional<QByteArray> fetchSignature(const TQDownloader& downloader, std::stop_token stop) {
    const QUrl url = packageSignatureURL();
    QString error;
    const std::optional<QByteArray> contents =
        downloader.fetchData(url, PackageSignature::kMostFileBytes, &error, std::move(stop));
    if (!contents) {
        Platform::Log::write(
            QStringLiteral("Cannot fetch the package signature %1: %2").arg(url.toString(), error));
        return std::nullopt;
    }
    const std::optional<QByteArray> signature = PackageSignature::fromFileContents(*contents);
    if (!signature)
        Platform::Log::write(
            QStringLiteral("The package signature %1 is neither 64 bytes nor their base64")
                .arg(url.toString()));
    return signature;
}

} // namespace

// Every way this fails ends alike: the package goes, and Try Again fetches both anew.
std::unique_ptr<VerifiedPackage> Installation::verifyDownload(const QString& packagePath) {
    const std::optional<QByteArray> key = PackageSignature::publicKeyFromBase64(packagePublicKey());
    if (!key)
        Platform::Log::write(
            QStringLiteral("PackagePublicKey is not the base64 of a 32-byte Ed25519 public key"));
    const std::optional<QByteArray> signature =
        key ? fetchSignature(m_parts.downloader, stopToken()) : std::nullopt;
    std::unique_ptr<VerifiedPackage> verified =
        signature ? VerifiedPackage::verify(packagePath, *key, *signature) : nullptr;
    if (stopToken().stop_requested())
        return nullptr;
    if (verified)
        return verified;
    (void)m_parts.files.removeItemAtPath(packagePath, nullptr);
    failStage(downloadFail, signatureInvalid, signatureLabel,
              localized(QStringLiteral(
                  "The downloaded package is not the one its maker signed. Please try again.")));
    return nullptr;
}
