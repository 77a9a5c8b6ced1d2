#include "Extensions/BundleExtension.h"
#include "Platform/Bundle.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Platform::Bundle bundle = Platform::Bundle::main();
    std::printf("%s installer (%s): the window is not built yet.\n",
                qPrintable(bundleDisplayName(bundle)), qPrintable(bundle.bundlePath()));
    return 0;
}
