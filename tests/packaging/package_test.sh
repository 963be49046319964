#!/usr/bin/env bash
# Builds the Debian package from the build and checks what apt will see: the
# Qt 6 run-time packages it depends on and the files it brings.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
packages=("$out"/pellmarsh_*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || { echo "no single package in $out"; exit 1; }
package=${packages[0]}

fail() { echo "$*"; exit 1; }
[ "$(dpkg-deb -f "$package" Package)" = pellmarsh ] || fail "wrong package name"
[ "$(dpkg-deb -f "$package" Architecture)" = "$(dpkg --print-architecture)" ] || fail "wrong architecture"
depends=$(dpkg-deb -f "$package" Depends)
depended=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 libqt6multimedia6 libc6 libstdc++6; do
  grep -Fqx "$library" <<<"$depended" || fail "Depends lacks $library: $depends"
done

listing=$(dpkg-deb -c "$package")
files=$(awk '{print $6}' <<<"$listing" | grep -v '/$')
expected="./etc/chromium/native-messaging-hosts/org.example.pellmarsh.json
./usr/bin/pellmarsh
./usr/lib/mozilla/native-messaging-hosts/org.example.pellmarsh.json
./usr/lib/pellmarsh/native-messaging-host
./usr/share/applications/pellmarsh.desktop
./usr/share/doc/pellmarsh/pellmarsh.txt
./usr/share/icons/hicolor/128x128/apps/pellmarsh.png
./usr/share/icons/hicolor/16x16/apps/pellmarsh.png
./usr/share/icons/hicolor/22x22/apps/pellmarsh.png
./usr/share/icons/hicolor/24x24/apps/pellmarsh.png
./usr/share/icons/hicolor/256x256/apps/pellmarsh.png
./usr/share/icons/hicolor/32x32/apps/pellmarsh.png
./usr/share/icons/hicolor/48x48/apps/pellmarsh.png
./usr/share/icons/hicolor/64x64/apps/pellmarsh.png
./usr/share/icons/hicolor/scalable/apps/pellmarsh.svg
./usr/share/metainfo/org.example.pellmarsh.metainfo.xml
./usr/share/pellmarsh/browser/background.js
./usr/share/pellmarsh/browser/icons/pellmarsh-128.png
./usr/share/pellmarsh/browser/icons/pellmarsh-16.png
./usr/share/pellmarsh/browser/icons/pellmarsh-32.png
./usr/share/pellmarsh/browser/icons/pellmarsh-48.png
./usr/share/pellmarsh/browser/manifest.json
./usr/share/pellmarsh/browser/options.html
./usr/share/pellmarsh/browser/options.js
./usr/share/pellmarsh/browser/settings.js
./usr/share/pellmarsh/browser/shift_click.js
./usr/share/pellmarsh/pellmarsh-extension.xpi
./usr/share/pellmarsh/pellmarsh-extension.zip"
[ "$(sort <<<"$files")" = "$expected" ] || fail "unexpected file list:
$files"
# Nothing the program writes may be part of the package.
grep -Eq 'pmarsh\.(dat|lock)|/download/' <<<"$listing" && fail "package holds data"
grep -Eq -- '^-rwxr-xr-x root/root .* \./usr/bin/pellmarsh$' <<<"$listing" || fail "program not root-owned 0755"
# An upgrade keeps what the admin changed in the Chromium host manifest.
[ "$(dpkg-deb -I "$package" conffiles)" = /etc/chromium/native-messaging-hosts/org.example.pellmarsh.json ] ||
  fail "the Chromium host manifest is no conffile"
echo "package $(basename "$package") checked"
