// hdiutil attach IMAGE -mountpoint DIR [-nobrowse] [-noautoopen]
// hdiutil detach DIR [-force]
#include "Platform/Signals.h"
#include "VolumeMounter.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

int usage() {
    std::fputs("usage: hdiutil attach IMAGE -mountpoint DIR [-nobrowse] [-noautoopen]\n"
               "       hdiutil detach DIR [-force]\n",
               stderr);
    return 2;
}

int attach(QStringList arguments) {
    QString image;
    QString mountPoint;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("-mountpoint") && !arguments.isEmpty())
            mountPoint = arguments.takeFirst();
        else if (argument == QLatin1String("-nobrowse") || argument == QLatin1String("-noautoopen"))
            continue;
        else if (image.isEmpty() && !argument.startsWith(QLatin1Char('-')))
            image = argument;
        else
            return usage();
    }
    if (image.isEmpty() || mountPoint.isEmpty())
        return usage();
    return VolumeMounter::attach(image, mountPoint);
}

int detach(QStringList arguments) {
    arguments.removeAll(QStringLiteral("-force"));
    if (arguments.size() != 1 || arguments.front().startsWith(QLatin1Char('-')))
        return usage();
    return VolumeMounter::detach(arguments.front());
}

} // namespace

int main(int argc, char* argv[]) {
    // Nobody may be reading our output (a detach is not waited for); a write then fails
    // quietly and the work goes on.
    Platform::Signals::ignoreBrokenPipe();
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return usage();
    const QString verb = arguments.takeFirst();
    if (verb == QLatin1String("attach"))
        return attach(arguments);
    if (verb == QLatin1String("detach"))
        return detach(arguments);
    return usage();
}
