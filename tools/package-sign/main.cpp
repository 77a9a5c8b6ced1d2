// package-sign: Ed25519 signatures of installer packages.
//   package-sign keygen KEY              writes the private key KEY (PEM, mode 0600, never over
//                                        a file) and KEY.pub, and prints the public key: the
//                                        value of the installer's PackagePublicKey setting
//   package-sign sign --key KEY PACKAGE...  writes PACKAGE.sig (the 64-byte signature) beside
//                                        each package
//   package-sign verify PACKAGE SIG PUBKEY  checks a signature; PUBKEY is the base64 key or a
//                                        file holding it. Exit status 0 when it holds.
#include "Installation/PackageSignature.h"
#include "Platform/FileDescriptor.h"
#include "Platform/MappedFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;
struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

int fail(const QString& message) {
    std::fprintf(stderr, "package-sign: %s\n", qPrintable(message));
    return 1;
}

int usage() {
    std::fputs("usage: package-sign keygen KEY\n"
               "       package-sign sign --key KEY PACKAGE...\n"
               "       package-sign verify PACKAGE SIG PUBKEY\n",
               stderr);
    return 2;
}

bool writeNewFile(const QString& path, const QByteArray& contents, QFile::Permissions mode) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, mode) &&
           file.write(contents) == contents.size() && file.flush();
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

int keygen(const QString& keyPath) {
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    const std::unique_ptr<BIO, BioDeleter> pem(BIO_new(BIO_s_mem()));
    unsigned char publicKey[PackageSignature::kKeySize];
    size_t publicSize = sizeof publicKey;
    if (!key || !pem ||
        PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        EVP_PKEY_get_raw_public_key(key.get(), publicKey, &publicSize) != 1)
        return fail(QStringLiteral("cannot make a key pair"));
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem.get(), &data);
    const QByteArray publicBase64 =
        QByteArray(reinterpret_cast<const char*>(publicKey), qsizetype(publicSize)).toBase64();
    if (!writeNewFile(keyPath, QByteArray(data, size), QFile::ReadOwner | QFile::WriteOwner))
        return fail(QStringLiteral("cannot write %1 (it must not exist yet)").arg(keyPath));
    if (!writeNewFile(keyPath + QStringLiteral(".pub"), publicBase64 + '\n',
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther))
        return fail(QStringLiteral("cannot write %1.pub").arg(keyPath));
    std::printf("%s\n", publicBase64.constData());
    return 0;
}

Key readPrivateKey(const QString& path) {
    const std::optional<QByteArray> pem = readFile(path);
    const std::unique_ptr<BIO, BioDeleter> bio(
        pem ? BIO_new_mem_buf(pem->constData(), int(pem->size())) : nullptr);
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    return key && EVP_PKEY_get_id(key.get()) == EVP_PKEY_ED25519 ? std::move(key) : nullptr;
}

int signPackage(EVP_PKEY* key, const QString& packagePath) {
    const Platform::FileDescriptor package = Platform::FileDescriptor::openForReading(packagePath);
    const Platform::MappedFile bytes(package);
    const std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    unsigned char signature[PackageSignature::kSignatureSize];
    size_t signatureSize = sizeof signature;
    if (!package.isRegularFile() || !bytes.valid() || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), signature, &signatureSize,
                       reinterpret_cast<const unsigned char*>(bytes.data()),
                       size_t(bytes.size())) != 1)
        return fail(QStringLiteral("cannot sign %1").arg(packagePath));
    QSaveFile output(packagePath + QStringLiteral(".sig"));
    if (!output.open(QIODevice::WriteOnly) ||
        output.write(reinterpret_cast<const char*>(signature), qint64(signatureSize)) !=
            qint64(signatureSize) ||
        !output.commit())
        return fail(QStringLiteral("cannot write %1.sig").arg(packagePath));
    std::printf("%s.sig\n", qPrintable(packagePath));
    return 0;
}

int sign(QStringList arguments) {
    if (arguments.size() < 3 || arguments.takeFirst() != QLatin1String("--key"))
        return usage();
    const QString keyPath = arguments.takeFirst();
    const Key key = readPrivateKey(keyPath);
    if (!key)
        return fail(QStringLiteral("%1 holds no Ed25519 private key").arg(keyPath));
    for (const QString& package : arguments)
        if (const int status = signPackage(key.get(), package); status != 0)
            return status;
    return 0;
}

int verify(const QStringList& arguments) {
    if (arguments.size() != 3)
        return usage();
    const QString keyArgument = arguments.at(2);
    const std::optional<QByteArray> keyText =
        QFileInfo(keyArgument).isFile() ? readFile(keyArgument) : keyArgument.toLatin1();
    const std::optional<QByteArray> key =
        keyText ? PackageSignature::publicKeyFromBase64(QString::fromLatin1(keyText->trimmed()))
                : std::nullopt;
    if (!key)
        return fail(QStringLiteral("the public key is not the base64 of 32 bytes"));
    const std::optional<QByteArray> contents = readFile(arguments.at(1));
    const std::optional<QByteArray> signature =
        contents ? PackageSignature::fromFileContents(*contents) : std::nullopt;
    if (!signature)
        return fail(QStringLiteral("%1 holds no signature").arg(arguments.at(1)));
    const Platform::FileDescriptor package =
        Platform::FileDescriptor::openForReading(arguments.at(0));
    const Platform::MappedFile bytes(package);
    if (!package.isRegularFile() || !bytes.valid())
        return fail(QStringLiteral("cannot read %1").arg(arguments.at(0)));
    if (!PackageSignature::verify(*key, *signature, bytes.data(), bytes.size()))
        return fail(QStringLiteral("the signature does not match %1").arg(arguments.at(0)));
    std::printf("%s: signature verified\n", qPrintable(arguments.at(0)));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const QString verb = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (verb == QLatin1String("keygen") && arguments.size() == 1)
        return keygen(arguments.first());
    if (verb == QLatin1String("sign"))
        return sign(arguments);
    if (verb == QLatin1String("verify"))
        return verify(arguments);
    return usage();
}
