# Sourced by the end-to-end scripts: Wine's programs and settings, a booted prefix, and the
# product's files laid out as its setup leaves them. The caller sets $root and $out and defines die.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all
# No Mono/Gecko prompts, no menu entries, and no debugger that would hang on a crash.
wine_overrides="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEDLLOVERRIDES=$wine_overrides
tool_dir='Program Files/Lumascribe/install'
win_tool='C:\Program Files\Lumascribe\install\install.exe'

# Wine's processes (and the tray companion) inherit the caller's output: it goes to files only,
# so that nothing reading ours waits for them to end.
wine_in() {  # prefix, output file, program and arguments
  local prefix=$1 file=$2
  shift 2
  WINEPREFIX=$prefix timeout 300 "$wine" "$@" >"$file" 2>"$file.err"
}

wine_stop() { WINEPREFIX=$1 "$wineserver" -k 2>/dev/null; WINEPREFIX=$1 "$wineserver" -w 2>/dev/null; }

# A new prefix, booted, whose windows work without a display.
wine_boot() {  # prefix, log directory
  [ -x "$wine" ] || die "$wine is missing (scripts/install-wine.sh)"
  wine_in "$1" "$2/wineboot.txt" wineboot -i || die "wineboot failed: $(tail -5 "$2/wineboot.txt.err")"
  # Without a display no window can be made; the null driver makes windows work undrawn.
  wine_in "$1" "$2/graphics.txt" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f ||
    die "cannot select the null graphics driver"
  wine_stop "$1"
}

# The stand-in components of the given builds, in $out/components (the first build) and
# $out/components/<build> (the others).
build_components() {  # builds...
  "$root/drv/components/build.sh" "$out/components" "$@" >"$out/logs/components.txt" 2>&1 ||
    die "the stand-in components failed to build: $(tail -5 "$out/logs/components.txt")"
}

# The product's files of one build beside the tool, and the tray companion in its parent.
put_files() {  # drive, build
  local from=$out/components
  [ "$2" = 2501 ] || from=$from/$2
  cp "$from"/lms* "$1/$tool_dir/"
  cp "$from/lumtray.exe" "$1/${tool_dir%/install}/"
}
