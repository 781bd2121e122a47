#!/bin/bash
# A version.dll planted beside install.exe, which Wine is told to prefer to its own
# (version=n,b, as Windows prefers a DLL of the program's folder that is no KnownDLL): the install
# and a driver probe, which reads version resources, must work and never load it.
# Usage: dll_planting.sh [install.exe], by default the cross build.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build-e2e-planting
die() { echo "dll planting: $*"; exit 1; }
. "$root/tests/e2e/wine_prefix.sh"

passed=0
failed=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "  ok    $what"; else failed=$((failed + 1)); echo "  FAIL  $what"; fi
}

echo "== dll planting: a fresh Wine prefix with a version.dll of a user's beside the tool"
exe=${1:-$root/build-windows/bin/install.exe}
[ -f "$exe" ] || die "$exe is missing (make windows)"
rm -rf "$out"
mkdir -p "$out/logs"
prefix=$out/prefix
trap 'wine_stop "$prefix"' EXIT
build_components 2501
wine_boot "$prefix" "$out/logs"
cdrive=$prefix/drive_c
mkdir -p "$cdrive/$tool_dir"
cp "$exe" "$cdrive/$tool_dir/install.exe"
put_files "$cdrive" 2501
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -shared -s -static -o "$cdrive/$tool_dir/version.dll" \
  "$root/tests/e2e/planted_version.cpp" || die "the planted version.dll failed to build"
marker=$cdrive/planted-version-dll-loaded.txt
export WINEDLLOVERRIDES="$wine_overrides;version=n,b"

for step in "install 1" "onChkDrv 103"; do
  set -- $step
  wine_in "$prefix" "$out/logs/$1.txt" "$win_tool" "$1"
  code=$?
  echo "$1 -> exit code $code"
  check "$1 ends with $2" [ "$code" -eq "$2" ]
  check "$1 leaves the planted version.dll unloaded" [ ! -e "$marker" ]
done

echo "dll planting: $passed passed, $failed failed (outputs in ${out#$root/}/logs)"
[ "$failed" -eq 0 ]
