#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a desktop needs of
# it: the program, its menu entry, its icons, its software-centre entry, and
# the browser extension with the host manifests that let it reach the program.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
usr="$stage/usr"
expected=(
  bin/pellmarsh
  share/doc/pellmarsh/pellmarsh.txt
  share/applications/pellmarsh.desktop
  share/metainfo/org.example.pellmarsh.metainfo.xml
  share/icons/hicolor/scalable/apps/pellmarsh.svg
  share/pellmarsh/browser/manifest.json
  share/pellmarsh/browser/background.js
  share/pellmarsh/browser/options.html
  share/pellmarsh/browser/shift_click.js
  share/pellmarsh/browser/icons/pellmarsh-128.png
  share/pellmarsh/pellmarsh-extension.zip
  share/pellmarsh/pellmarsh-extension.xpi
  lib/pellmarsh/native-messaging-host
  lib/mozilla/native-messaging-hosts/org.example.pellmarsh.json
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/pellmarsh.png")
done
for file in "${expected[@]}"; do
  [ -f "$usr/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ -x "$usr/bin/pellmarsh" ] || { echo "the program is not executable"; exit 1; }
# A PNG that is not the size its folder says is scaled again by every desktop.
for size in 16 22 24 32 48 64 128 256; do
  header=$(od -An -tu4 --endian=big -j16 -N8 "$usr/share/icons/hicolor/${size}x${size}/apps/pellmarsh.png" | tr -s ' ')
  [ "$header" = " $size $size" ] || { echo "the ${size}px icon is not ${size}px"; exit 1; }
done

desktop-file-validate "$usr/share/applications/pellmarsh.desktop"
grep -qx 'GenericName=Download Manager' "$usr/share/applications/pellmarsh.desktop"
grep -qx 'Categories=Network;FileTransfer;' "$usr/share/applications/pellmarsh.desktop"
grep -qx 'Exec=pellmarsh %U' "$usr/share/applications/pellmarsh.desktop"
# Offered for ftp links, never the default for the web's own.
grep -qx 'MimeType=x-scheme-handler/ftp;' "$usr/share/applications/pellmarsh.desktop"
if grep -q 'x-scheme-handler/http' "$usr/share/applications/pellmarsh.desktop"; then
  echo "the desktop entry claims http or https"
  exit 1
fi
appstreamcli validate --no-net "$usr/share/metainfo/org.example.pellmarsh.metainfo.xml"
# The software centre finds the menu entry by the name the metainfo gives.
grep -q '<launchable type="desktop-id">pellmarsh.desktop</launchable>' \
  "$usr/share/metainfo/org.example.pellmarsh.metainfo.xml"

# Each browser lets only the extension its host manifest names talk to the
# host: Firefox by the extension's id, Chromium by the id its public key gives.
extension="$usr/share/pellmarsh/browser/manifest.json"
firefox="$usr/lib/mozilla/native-messaging-hosts/org.example.pellmarsh.json"
chromium="$stage/etc/chromium/native-messaging-hosts/org.example.pellmarsh.json"
# json FILE KEY...: the value under the keys; a list's first element.
json() {
  /usr/bin/python3 -c 'import json, sys
value = json.load(open(sys.argv[1]))
for key in sys.argv[2:]:
    value = value[key]
print(value[0] if isinstance(value, list) else value)' "$@"
}
chromium_id=$(json "$extension" key | base64 -d | sha256sum | cut -c1-32 | tr 0-9a-f a-p)
[ "$(json "$chromium" allowed_origins)" = "chrome-extension://$chromium_id/" ] ||
  { echo "the Chromium host manifest does not name the extension $chromium_id"; exit 1; }
[ "$(json "$firefox" allowed_extensions)" = "$(json "$extension" browser_specific_settings gecko id)" ] ||
  { echo "the Firefox host manifest does not name the extension"; exit 1; }
for manifest in "$firefox" "$chromium"; do
  [ "$(json "$manifest" name)" = org.example.pellmarsh ] || { echo "$manifest: wrong host name"; exit 1; }
  [ "$(json "$manifest" path)" = /usr/lib/pellmarsh/native-messaging-host ] ||
    { echo "$manifest: wrong host path"; exit 1; }
done
# The wrapper starts the program of its own prefix in host mode, passing on
# what the browser adds (its own origin).
printf '#!/bin/sh\necho "$@"\n' >"$usr/bin/pellmarsh"
[ "$("$usr/lib/pellmarsh/native-messaging-host" chrome-extension://x/)" = "--native-messaging chrome-extension://x/" ] ||
  { echo "the host wrapper does not start the program in host mode"; exit 1; }
echo "installed and valid"
