#include "IsoImage.h"

#include <QProcess>

bool IsoImage::write(const QString& folder, const QString& volumeName, const QString& outputPath,
                     QString* error) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("genisoimage"),
               {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-V"), volumeName,
                QStringLiteral("-input-charset"), QStringLiteral("utf-8"), QStringLiteral("-o"),
                outputPath, folder});
    if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("genisoimage failed: %1 %2")
                         .arg(tool.errorString(), QString::fromLocal8Bit(tool.readAll()));
        return false;
    }
    return true;
}
