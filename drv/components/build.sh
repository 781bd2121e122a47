#!/bin/sh
# Builds the stand-in components into the directory given: the x64 files with x86_64-w64-mingw32,
# the x86 files with i686-w64-mingw32, each carrying the product version 1.0.0.2501.
set -e
out=${1:?usage: build.sh OUTPUT_DIR}
src=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT
CXXFLAGS="-std=c++20 -O2 -Wall -Wextra -Werror -municode -DUNICODE -D_UNICODE"
LDFLAGS="-s -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp"

# component <toolchain> <source> <output file> <kind: dll|exe> <libraries...>
component() {
  prefix=$1 source=$2 file=$3 kind=$4
  shift 4
  rcflags="-DCOMPONENT_FILE=$file"
  [ "$kind" = exe ] && rcflags="$rcflags -DCOMPONENT_APP"
  $prefix-windres $rcflags -O coff -o "$obj/$file.res" "$src/version.rc"
  case $kind in
    dll) link="-shared -Wl,--kill-at" ;;   # undecorated export names on x86 as well
    exe) link="-mwindows" ;;
  esac
  $prefix-g++ $CXXFLAGS $LDFLAGS $link -o "$out/$file" "$src/$source" "$obj/$file.res" "$@"
}

x64=x86_64-w64-mingw32
x86=i686-w64-mingw32
component $x64 monitor.cpp lmsmon64.dll dll
component $x64 driver.cpp lmsdrv64.dll dll
component $x64 config.cpp lmsui64.dll dll -ladvapi32
component $x64 tray.cpp lumtray.exe exe -luser32
component $x86 monitor.cpp lmsmon32.dll dll
component $x86 driver.cpp lmsdrv32.dll dll
component $x86 config.cpp lmsui32.dll dll -ladvapi32
# Help: the tool only copies and registers it.
printf 'ITSF Lumascribe help stand-in\r\n' > "$out/lmshelp.chm"
