#pragma once

#include <QString>
#include <QUrl>

// Links of the installer, built afresh from the main bundle's settings on every call.
// Each is null when its text does not form a valid URL.

// The link service's address for one code: <LinkServiceURL>go.php?pid=<PID>&m=c<code>,
// with the PID inserted unencoded (a PID that breaks the URL gives no link).
[[nodiscard]] QUrl customURL(qint64 code);
// The same for any link service root (ending in "/") and PID.
[[nodiscard]] QUrl linkServiceURL(const QString& root, const QString& pid, qint64 code);
[[nodiscard]] QUrl installPackageURL();   // c1: the product package
[[nodiscard]] QUrl directDMGPackageURL(); // c2: the disk image, for the browser
[[nodiscard]] QUrl privacyPolicyURL();    // c3
[[nodiscard]] QUrl licenseURL();          // c4
[[nodiscard]] QUrl packageSignatureURL(); // c5: the signature of the c1 package
[[nodiscard]] QUrl customerServiceURL();
[[nodiscard]] QUrl productPageURL();

// The first free name for `name` in `directory`: name, then "base (n).ext" (or "name (n)"
// without extension). Creates nothing. Null for an empty name, a name that is not a single
// path component, or a directory that is missing or not a folder.
[[nodiscard]] QUrl generateUniqueURL(const QString& name, const QUrl& directory);
// Creates a new folder `name` in `directory`, or "base (n)" with the last extension dropped
// when that is taken. Null, after a log line when creation failed, as above.
[[nodiscard]] QUrl createUniqueDirectory(const QString& name, const QUrl& directory);
