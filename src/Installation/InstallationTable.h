#pragma once

#include <QString>

// Every analytics event and fixed message an installation sends, in the order an installation
// can send them. Collectors and support tools compare them byte for byte: change none.
namespace InstallationTable {

// Event categories.
inline const QString downloadNumber = QStringLiteral("Download_Number");
inline const QString downloadFail = QStringLiteral("Download_Fail");
inline const QString preflightFail = QStringLiteral("Preflight_Fail");
inline const QString downloadSuccess = QStringLiteral("Download_Success");
inline const QString downloadTimeInterval = QStringLiteral("Download_TimeInterval");
inline const QString installFail = QStringLiteral("Install_Fail");
inline const QString unarchiveTimeInterval = QStringLiteral("Unarchive_TimeInterval");
inline const QString selectInstallDirectory = QStringLiteral("Select_Install_Directory");
inline const QString installSuccess = QStringLiteral("Install_Success");
inline const QString installTimeInterval = QStringLiteral("Install_TimeInterval");
inline const QString launchSuccess = QStringLiteral("Launch_Success");
inline const QString launchFail = QStringLiteral("Launch_Fail");
inline const QString error = QStringLiteral("Error");
inline const QString quit = QStringLiteral("Quit");
inline const QString directDownloadMenu = QStringLiteral("Direct Download_Menu");

// Event actions of the error dialog and the quit prompt.
inline const QString errorTryAgain = QStringLiteral("Error_TryAgain");
inline const QString errorDirectDownload = QStringLiteral("Error_DirectDownload");
inline const QString errorQuit = QStringLiteral("Error_Quit");
inline const QString quitContinue = QStringLiteral("Quit_Continue");
inline const QString quitQuit = QStringLiteral("Quit_Quit");

// Actions of "Preflight_Fail": the stage that found too little room.
inline const QString preflightDownload = QStringLiteral("download");
inline const QString preflightUnarchive = QStringLiteral("unarchive");
inline const QString preflightInstall = QStringLiteral("install");

// Label of "Download_Fail" when the package's signature does not hold.
inline const QString signatureLabel = QStringLiteral("signature");

// Messages: logged, and sent as the action of the failure event.
inline const QString downloadAddressEmpty = QStringLiteral("安装失败：压缩包下载地址为空");
inline const QString downloadFailed = QStringLiteral("安装失败：压缩包下载失败");
inline const QString signatureInvalid = QStringLiteral("安装失败：程序包签名无效");
inline const QString unpackFolderMissing = QStringLiteral("安装失败：解压目录不存在");
inline const QString unsupportedPackage = QStringLiteral("安装失败：不支持的程序压缩包格式");
inline const QString extractionFailed = QStringLiteral("安装失败：解压程序包失败");
inline const QString bundleMissing = QStringLiteral("安装失败：解压程序包不存在");
inline const QString applicationsFolderMissing = QStringLiteral("安装失败：找不到应用程序目录");
inline const QString copyFailed = QStringLiteral("安装失败：拷贝应用程序包失败");
inline const QString launchFailed = QStringLiteral("应用程序启动失败");

// What the error dialog tells, by the cause of the failure (localization keys; "%@" is
// filled in after lookup).
inline const QString noConnectionMessage =
    QStringLiteral("Please make sure you have Internet connection and try again.");
inline const QString refusedMessage =
    QStringLiteral("The server refused the download (HTTP status %@). Please try again later.");
inline const QString damagedMessage = QStringLiteral(
    "The downloaded file is damaged or is not an installation package. Please try again.");
inline const QString diskFullMessage =
    QStringLiteral("There is not enough free disk space. Please free some space and try again.");
inline const QString unwritableMessage = QStringLiteral(
    "The folder “%@” cannot be written. Please check its permissions and try again.");

} // namespace InstallationTable
