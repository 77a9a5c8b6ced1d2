#include "Installation/PackageSignature.h"

#include <memory>
#include <openssl/evp.h>

namespace {

std::optional<QByteArray> decodedBase64(const QByteArray& text, qsizetype size) {
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<QByteArray> PackageSignature::publicKeyFromBase64(const QString& text) {
    return decodedBase64(text.toLatin1(), kKeySize);
}

std::optional<QByteArray> PackageSignature::fromFileContents(const QByteArray& contents) {
    if (contents.size() == kSignatureSize)
        return contents;
    return decodedBase64(contents, kSignatureSize);
}

bool PackageSignature::verify(const QByteArray& publicKey, const QByteArray& signature,
                              const char* data, qint64 size) {
    if (publicKey.size() != kKeySize || signature.size() != kSignatureSize || size < 0)
        return false;
    const std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()),
        size_t(publicKey.size())));
    const std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    // Ed25519 signs the whole message at once: no digest of its own, no streaming.
    return key && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(),
                            reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), reinterpret_cast<const unsigned char*>(data),
                            size_t(size)) == 1;
}
