#include "ZipFuzzCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

// libFuzzer entry: every input is extracted into a fresh folder under a private root.
namespace {

QString& work() {
    static QString folder;
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tq-zip-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    work() = QString::fromLocal8Bit(pattern) + QStringLiteral("/work");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString problem =
        extractAndCheck(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), work());
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "zip fuzz: %s\n", problem.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
