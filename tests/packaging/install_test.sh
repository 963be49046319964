#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a desktop needs of
# it: the program, its menu entry, its icons and its software-centre entry.
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
echo "installed and valid"
