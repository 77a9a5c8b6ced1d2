#include "Extensions/BundleExtension.h"

QString bundleName(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("CFBundleName"));
}

QString bundleDisplayName(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("CFBundleDisplayName"));
}

QString bundleID(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("CFBundleIdentifier"));
}

QString bundleVersion(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("CFBundleVersion"));
}

QString bundleShortVersion(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("CFBundleShortVersionString"));
}

QString productID(const Platform::Bundle& bundle) {
    return bundle.localizedString(QStringLiteral("PID"));
}

QString installAppBundleID(const Platform::Bundle& bundle) {
    return bundle.plainString(QStringLiteral("InstallApplicationBundleID"));
}

QString packagePublicKey(const Platform::Bundle& bundle) {
    return bundle.plainString(QStringLiteral("PackagePublicKey"));
}

QString installerFolderName(const Platform::Bundle& bundle) {
    const QString identifier = bundle.bundleIdentifier();
    if (identifier.isEmpty() || identifier.contains(QLatin1Char('/')) ||
        identifier == QLatin1String(".") || identifier == QLatin1String(".."))
        return QStringLiteral("installer");
    return identifier;
}
