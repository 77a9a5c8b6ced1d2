# Gives the installer settings PLIST the public key in KEY_FILE as PackagePublicKey:
#   cmake -DKEY_FILE=<key>.pub -DPLIST=<Info.plist> -P AddPublicKey.cmake
file(READ "${KEY_FILE}" key)
string(STRIP "${key}" key)
file(READ "${PLIST}" settings)
string(REPLACE "</dict>" "\t<key>PackagePublicKey</key>\n\t<string>${key}</string>\n</dict>"
       settings "${settings}")
file(WRITE "${PLIST}" "${settings}")
