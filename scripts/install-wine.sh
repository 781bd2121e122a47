#!/bin/sh
# Installs what `make e2e` needs beyond the build, only when missing: Wine (64-bit), Xvfb for a
# display the log window is drawn on, and ImageMagick for its screenshot. Not needed by `make test`.
set -e
need=""
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in wine64 xvfb imagemagick; do
  have "$p" || need="$need $p"
done
[ -z "$need" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "installing:$need"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need
