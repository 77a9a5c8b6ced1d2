#pragma once

#include "Platform/Bundle.h"

#include <QString>

// Settings of a bundle, by the installer's names. Each returns a null string when the key
// is missing. All but installAppBundleID prefer the localized settings value.
[[nodiscard]] QString bundleName(const Platform::Bundle& bundle = Platform::Bundle::main());
[[nodiscard]] QString bundleDisplayName(const Platform::Bundle& bundle = Platform::Bundle::main());
[[nodiscard]] QString bundleID(const Platform::Bundle& bundle = Platform::Bundle::main());
[[nodiscard]] QString bundleVersion(const Platform::Bundle& bundle = Platform::Bundle::main());
[[nodiscard]] QString bundleShortVersion(const Platform::Bundle& bundle = Platform::Bundle::main());
[[nodiscard]] QString productID(const Platform::Bundle& bundle = Platform::Bundle::main());
// The product application's identifier, from the plain settings only.
[[nodiscard]] QString installAppBundleID(const Platform::Bundle& bundle = Platform::Bundle::main());
// The maker's Ed25519 public key for packages (base64 of its 32 bytes), from the plain
// settings only; null when the installer takes packages unsigned.
[[nodiscard]] QString packagePublicKey(const Platform::Bundle& bundle = Platform::Bundle::main());
// The installer's identifier as the name of a folder of its own: CFBundleIdentifier, or
// "installer" when that is missing or no plain file name.
[[nodiscard]] QString
installerFolderName(const Platform::Bundle& bundle = Platform::Bundle::main());
