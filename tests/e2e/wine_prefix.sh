# Sourced by the end-to-end scripts: Wine's settings, and a fresh prefix $out/prefix with the tool
# and the stand-in components laid out as the product's setup leaves them. The caller sets
# $root and $out first.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$out/prefix
export WINEDEBUG=-all
# No Mono/Gecko prompts, no menu entries, and no debugger that would hang on a crash.
wine_overrides="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEDLLOVERRIDES=$wine_overrides
cdrive=$WINEPREFIX/drive_c
appdir="$cdrive/Program Files/Lumascribe"
tool='C:\Program Files\Lumascribe\install\install.exe'

die() { echo "e2e: $*"; exit 1; }

# Wine's own processes (and the tray companion) inherit the caller's output: it goes to files
# only, so that nothing reading our output waits for them to end.
wine_run() {  # output file, program and arguments
  local file=$1
  shift
  timeout 300 "$wine" "$@" >"$file" 2>&1
}

# A fresh $out with the stand-in components in $out/components and a booted prefix holding them
# and the tool ($1, default the cross build) where the product's setup puts them.
fresh_prefix() {
  local exe=${1:-$root/build-windows/bin/install.exe}
  [ -x "$wine" ] || die "$wine is missing (scripts/install-wine.sh)"
  [ -f "$exe" ] || die "$exe is missing (make windows)"
  rm -rf "$out"
  mkdir -p "$out/logs"
  "$root/drv/components/build.sh" "$out/components" || die "components failed to build"
  trap '"$wineserver" -k 2>/dev/null' EXIT
  wine_run "$out/logs/wineboot.txt" wineboot -i || die "wineboot failed: $(tail -5 "$out/logs/wineboot.txt")"
  # Without a display no window can be made; the null driver makes windows and dialogs work undrawn.
  wine_run "$out/logs/graphics.txt" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f ||
    die "cannot select the null graphics driver"
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w
  mkdir -p "$appdir/install"
  cp "$exe" "$appdir/install/install.exe"
  cp "$out/components/"lms* "$appdir/install/"
  cp "$out/components/lumtray.exe" "$appdir/"
}
