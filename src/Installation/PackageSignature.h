#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Ed25519 signatures of packages. The maker signs the bytes of the package file with the
// private key; the installer carries the public key (the setting PackagePublicKey, base64 of
// its 32 raw bytes) and checks the detached signature before anything is unpacked.
class PackageSignature {
public:
    static constexpr qsizetype kKeySize = 32;
    static constexpr qsizetype kSignatureSize = 64;
    // The most a signature file may hold: 64 raw bytes, or their base64 with some white space.
    static constexpr qint64 kMostFileBytes = 256;

    // The raw public key; nothing unless the text is base64 of exactly 32 bytes.
    [[nodiscard]] static std::optional<QByteArray> publicKeyFromBase64(const QString& text);
    // The signature in a signature file: its 64 raw bytes, or the base64 of 64 bytes with white
    // space around it; nothing for anything else, such as an error page.
    [[nodiscard]] static std::optional<QByteArray> fromFileContents(const QByteArray& contents);
    // Whether `signature` is the key's signature of the `size` bytes at `data`.
    [[nodiscard]] static bool verify(const QByteArray& publicKey, const QByteArray& signature,
                                     const char* data, qint64 size);
};
