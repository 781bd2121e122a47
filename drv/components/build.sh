#!/bin/sh
# Builds the stand-in components into the directory given: the x64 files with x86_64-w64-mingw32,
# the x86 files with i686-w64-mingw32, each carrying the product version 1.0.0.<build> (2501
# unless given). Each source is compiled once; each build only links it with its own resource.
set -e
out=${1:?usage: build.sh OUTPUT_DIR [BUILD...]}
shift
builds=${*:-2501}
src=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT
CXXFLAGS="-std=c++20 -O2 -Wall -Wextra -Werror -municode -DUNICODE -D_UNICODE"
LDFLAGS="-s -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp"

# component <toolchain> <source> <output file> <kind: dll|exe> <build> <directory> <libraries...>
component() {
  prefix=$1 source=$2 file=$3 kind=$4 build=$5 dir=$6
  shift 6
  rcflags="-DCOMPONENT_FILE=$file -DCOMPONENT_BUILD=$build"
  [ "$kind" = exe ] && rcflags="$rcflags -DCOMPONENT_APP"
  [ -f "$obj/$prefix-$source.o" ] || $prefix-g++ $CXXFLAGS -c -o "$obj/$prefix-$source.o" "$src/$source"
  $prefix-windres $rcflags -O coff -o "$obj/$file-$build.res" "$src/version.rc"
  case $kind in
    dll) link="-shared -Wl,--kill-at" ;;   # undecorated export names on x86 as well
    exe) link="-mwindows" ;;
  esac
  $prefix-g++ $CXXFLAGS $LDFLAGS $link -o "$dir/$file" "$obj/$prefix-$source.o" "$obj/$file-$build.res" "$@"
}

x64=x86_64-w64-mingw32
x86=i686-w64-mingw32
for build in $builds; do
  # The first build goes into the directory itself, the others into a subdirectory named for it.
  dir=$out
  [ "$build" = "${builds%% *}" ] || dir=$out/$build
  mkdir -p "$dir"
  component $x64 monitor.cpp lmsmon64.dll dll "$build" "$dir"
  component $x64 driver.cpp lmsdrv64.dll dll "$build" "$dir"
  component $x64 config.cpp lmsui64.dll dll "$build" "$dir" -ladvapi32
  component $x64 tray.cpp lumtray.exe exe "$build" "$dir" -luser32
  component $x86 monitor.cpp lmsmon32.dll dll "$build" "$dir"
  component $x86 driver.cpp lmsdrv32.dll dll "$build" "$dir"
  component $x86 config.cpp lmsui32.dll dll "$build" "$dir" -ladvapi32
  # Help: the tool only copies and registers it.
  printf 'ITSF Lumascribe help stand-in\r\n' > "$dir/lmshelp.chm"
done
