#!/bin/sh
# Installs the Debian packages the build needs, only when one is missing.
set -e
need=""
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev libncurses-dev \
         nlohmann-json3-dev libcli11-dev mingw-w64 binutils-mingw-w64-x86-64 \
         osslsigncode openssl; do
  have "$p" || need="$need $p"
done
[ -z "$need" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "installing:$need"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need
