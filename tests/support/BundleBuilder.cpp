#include "BundleBuilder.h"

#include "Platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <plist/plist.h>
#include <stdexcept>

namespace {

plist_t toNode(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return plist_new_uint(value.toULongLong());
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QVariantMap: {
        plist_t dictionary = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dictionary, it.key().toUtf8().constData(), toNode(it.value()));
        return dictionary;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList())
            plist_array_append_item(array, toNode(item));
        return array;
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

// The installer reads its own settings once; a test that rewrites them wants them read again.
void writeSettingsFile(const QString& bundlePath, const QString& path, const QByteArray& bytes) {
    writeFile(bundlePath + path, bytes);
    if (Platform::Bundle::main().bundlePath() == QDir::cleanPath(bundlePath))
        Platform::Bundle::main().rereadSettings();
}

} // namespace

QByteArray BundleBuilder::serialize(const QVariantMap& info, Format format) {
    plist_t root = toNode(info);
    char* data = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(root, &data, &length);
    else
        plist_to_xml(root, &data, &length);
    QByteArray bytes(data, qsizetype(length));
    std::free(data);
    plist_free(root);
    return bytes;
}

void BundleBuilder::writeInfo(const QString& bundlePath, const QVariantMap& info, Format format) {
    writeSettingsFile(bundlePath, QStringLiteral("/Contents/Info.plist"), serialize(info, format));
}

void BundleBuilder::writeLocalizedInfo(const QString& bundlePath, const QString& language,
                                       const QVariantMap& info) {
    writeSettingsFile(bundlePath,
                      QStringLiteral("/Contents/Resources/") + language +
                          QStringLiteral(".lproj/InfoPlist.strings"),
                      serialize(info, Format::Xml));
}

QString BundleBuilder::writeProduct(const QString& folder, const QString& name,
                                    const QString& identifier, const QString& version,
                                    Format format) {
    const QString path = folder + QLatin1Char('/') + name;
    writeInfo(path,
              {{QStringLiteral("CFBundleIdentifier"), identifier},
               {QStringLiteral("CFBundleShortVersionString"), version},
               {QStringLiteral("CFBundleExecutable"), QStringLiteral("product")}},
              format);
    const QString program = path + QStringLiteral("/Contents/Linux/product");
    writeFile(program, "#!/bin/sh\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void BundleBuilder::writeRawInfo(const QString& bundlePath, const QByteArray& bytes) {
    writeSettingsFile(bundlePath, QStringLiteral("/Contents/Info.plist"), bytes);
}
