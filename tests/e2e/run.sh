#!/bin/bash
# The end-to-end scenarios of scenarios.txt, each run on two Windows from the same starting state:
# the cross-built install.exe under Wine 8, and the Linux program on winsim, both driven and read
# by the one probe (probe.cpp). Each step's exit code, log window and state are compared with
# letter case folded; a difference passes only when known_differences.txt explains it, and an
# entry there that no difference needs any more is an error too. The last line says
# "e2e: S scenarios, D differences, U unexplained"; the run fails unless U is 0.
#
# `run.sh --winsim [BIN]` runs the winsim half alone, with the Linux programs of BIN (default
# build/bin), and checks its exit codes (part of `make test`).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/e2e
mode=both
bin=$root/build/bin
out=$root/build-e2e
if [ "${1:-}" = --winsim ]; then
  mode=winsim
  bin=$(cd "${2:-$bin}" && pwd)
  out=$(dirname "$bin")/e2e-winsim
fi
linux_tool=$bin/install
linux_probe=$bin/e2e_probe
win_probe='C:\e2e\probe.exe'

problems=()  # what counts as unexplained besides differences
die() { echo "e2e: $*"; echo "e2e: 0 scenarios, 0 differences, 1 unexplained"; exit 1; }
. "$here/wine_prefix.sh"

# --- the two hosts ---------------------------------------------------------------------------

# A fresh prefix, booted once, with the tool, its files and the probe in place.
wine_base() {
  local base=$out/base/wine
  wine_boot "$base" "$out/logs"
  mkdir -p "$base/drive_c/$tool_dir" "$base/drive_c/e2e"
  cp "$root/build-windows/bin/install.exe" "$base/drive_c/$tool_dir/"
  cp "$out/probe.exe" "$base/drive_c/e2e/"
  put_files "$base/drive_c" 2501
}

# A fresh winsim machine whose spooler starts as bare as the Wine prefix's.
winsim_base() {
  local base=$out/base/winsim
  WINSIM_MACHINE=$base "$linux_probe" boot || die "cannot make the winsim machine"
  put_files "$base/drive_c" 2501
}

# One step on one host; a step's output goes to $file. With $shot set, Wine's log window is
# saved as a picture.
host_step() {  # host, machine directory, output file, step words...
  local host=$1 dir=$2 file=$3
  shift 3
  local verb=$1
  shift
  case $verb in
    run)
      local args=() word
      while [ "${1#--}" != "$1" ]; do
        args+=("$1")
        [ "$1" = --hold ] && { shift; args+=("$1"); }
        shift
      done
      word=$1
      if [ "$host" = wine ] && [ -n "$shot" ]; then
        screenshot_run "$dir" "$file" run "${args[@]}" "$win_tool" "$word"
      elif [ "$host" = wine ]; then
        wine_in "$dir" "$file" "$win_probe" run "${args[@]}" "$win_tool" "$word"
      else
        WINSIM_MACHINE=$dir "$linux_probe" run "${args[@]}" "$linux_tool" "$word" >"$file" 2>"$file.err"
      fi
      ;;
    state | settings | policy)
      if [ "$host" = wine ]; then
        wine_in "$dir" "$file" "$win_probe" "$verb" "$@"
      else
        WINSIM_MACHINE=$dir "$linux_probe" "$verb" "$@" >"$file" 2>"$file.err"
      fi
      ;;
    files) put_files "$dir/drive_c" "$1" ;;
    remove) rm -f "$dir/drive_c/$tool_dir/$1" ;;
    restart)
      if [ "$host" = wine ]; then
        # A new session: the restart carries out the pending renames, a plain boot the Run keys.
        wine_stop "$dir"
        wine_in "$dir" "$file" wineboot -r && wine_in "$dir" "$file" wineboot
      else
        WINSIM_MACHINE=$dir "$linux_probe" restart >"$file" 2>"$file.err"
      fi
      ;;
    *) echo "unknown step: $verb" >"$file"; return 1 ;;
  esac
}

# --- scenarios -------------------------------------------------------------------------------

names=()
declare -A steps displays
while IFS= read -r line || [ -n "$line" ]; do
  line=${line%%#*}
  line=${line%"${line##*[![:space:]]}"}
  [ -z "$line" ] && continue
  if [[ $line == \[*\] ]]; then
    read -r name flag <<<"${line:1:${#line}-2}"
    names+=("$name")
    displays[$name]=${flag:-}
    steps[$name]=""
  else
    steps[$name]+="$line"$'\n'
  fi
done <"$here/scenarios.txt"

# Takes a screenshot of the log window while the probe keeps it up (Wine under Xvfb).
screenshot_run() {  # prefix, output file, probe arguments...
  local prefix=$1 file=$2
  shift 2
  WINEPREFIX=$prefix E2E_SHOT_MS=4000 timeout 300 "$wine" "$win_probe" "$@" >"$file" 2>"$file.err" &
  local run=$!
  for _ in $(seq 300); do
    grep -q "log window up" "$file.err" 2>/dev/null && break
    sleep 0.1
  done
  sleep 1  # drawn
  import -window root "$out/logwindow.png" 2>"$out/logs/screenshot.txt" ||
    problems+=("no screenshot: $(cat "$out/logs/screenshot.txt")")
  wait $run
}

run_scenario() {  # host, name
  local host=$1 name=$2 n=0 dir=$out/machines/$1/$2 step expected code shot=${displays[$2]} last_state=/dev/null
  rm -rf "$dir"
  cp -a "$out/base/$host" "$dir"
  mkdir -p "$out/results/$name/$host"
  if [ "$host" = wine ] && [ "${displays[$name]}" = display ]; then
    wine_in "$dir" "$out/logs/$name-graphics.txt" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f
    wine_stop "$dir"
  fi
  while IFS= read -r step; do
    [ -z "$step" ] && continue
    n=$((n + 1))
    local file
    file=$out/results/$name/$host/$(printf %02d "$n")-${step%% *}.txt
    [ "$step" = unchanged ] && { host_step "$host" "$dir" "$file" state; cmp -s "$last_state" "$file" ||
      problems+=("$name: the state on $host changed: diff $last_state $file"); continue; }
    [ "$step" = state ] && last_state=$file
    expected=""
    [[ $step == *" = "* ]] && { expected=${step##* = }; step=${step% = *}; }
    # shellcheck disable=SC2086  # the step's words
    host_step "$host" "$dir" "$file" $step
    code=$?
    if [ "$host" = winsim ] && [ -n "$expected" ] && [ "$code" != "$expected" ]; then
      problems+=("$name: '$step' on winsim gave $code, Windows gives $expected (see ${file#"$root"/})")
    elif [ -z "$expected" ] && [ "$code" != 0 ] && [ "${step%% *}" != run ]; then
      problems+=("$name: '$step' failed on $host: $(head -3 "$file" "$file.err" 2>/dev/null | tr '\n' ' ')")
    fi
  done <<<"${steps[$name]}"
  [ "$host" = wine ] && wine_stop "$dir"
}

# The differences of one scenario, as "scenario/step<TAB>host<TAB>line" (ASCII letters folded to
# lower case, as Windows compares file names).
compare_scenario() {  # name
  local name=$1 wine_file winsim_file
  for wine_file in "$out/results/$name/wine/"*-{run,state,unchanged,settings,policy}.txt; do
    [ -f "$wine_file" ] || continue
    winsim_file=$out/results/$name/winsim/$(basename "$wine_file")
    # shellcheck disable=SC2018,SC2019  # ASCII only
    diff <(tr 'A-Z' 'a-z' <"$wine_file") <(tr 'A-Z' 'a-z' <"$winsim_file") |
      sed -n "s/^< /$name\/$(basename "$wine_file" .txt)\twine\t/p; s/^> /$name\/$(basename "$wine_file" .txt)\twinsim\t/p"
  done
}

# --- the run ---------------------------------------------------------------------------------

{ [ -x "$linux_probe" ] && [ -x "$linux_tool" ]; } || die "$bin/install or e2e_probe is missing (make linux)"
rm -rf "$out"
mkdir -p "$out/logs" "$out/base" "$out/machines/wine" "$out/machines/winsim" "$out/results"
build_components 2501 2450
winsim_base
hosts=(winsim)
if [ $mode = both ]; then
  [ -f "$root/build-windows/bin/install.exe" ] || die "build-windows/bin/install.exe is missing (make windows)"
  x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -municode -DUNICODE -D_UNICODE -s -static \
    -o "$out/probe.exe" "$here/probe.cpp" -lwinspool -luser32 -lversion 2>"$out/logs/probe.txt" ||
    die "the probe failed to build: $(head -5 "$out/logs/probe.txt")"
  # Windows that are drawn, for the screenshot of the log window.
  Xvfb :87 -screen 0 1024x768x24 -nolisten tcp >"$out/logs/xvfb.txt" 2>&1 &
  xvfb=$!
  export DISPLAY=:87
  trap 'kill $xvfb 2>/dev/null' EXIT
  wine_base
  hosts=(wine winsim)
fi

for name in "${names[@]}"; do
  for host in "${hosts[@]}"; do run_scenario "$host" "$name"; done
  echo "  ran $name"
done

differences=0
unexplained=0
if [ $mode = both ]; then
  for name in "${names[@]}"; do compare_scenario "$name"; done >"$out/differences.txt"
  # Each difference against the entries: "== name" starts one, "wine:"/"winsim:" give a pattern
  # (an extended regular expression for the whole lower-case line) that its host's lines match.
  awk -F'\t' -v report="$out/explained.txt" '
    FNR == NR {
      if ($0 ~ /^== /) { entry = substr($0, 4); entries[++count] = entry; next }
      if ($0 ~ /^(wine|winsim): /) {
        host = substr($0, 1, index($0, ":") - 1)
        patterns[++npatterns] = "^(" substr($0, length(host) + 3) ")$"
        pattern_host[npatterns] = host
        pattern_entry[npatterns] = entry
      }
      next
    }
    {
      explained = ""
      for (p = 1; p <= npatterns && explained == ""; ++p)
        if (pattern_host[p] == $2 && $3 ~ patterns[p]) explained = pattern_entry[p]
      if (explained == "") { print "  UNEXPLAINED  " $1 "  " $2 ": " $3; ++unexplained; next }
      used[explained] = 1
      print explained "\t" $0 > report
      ++differences
    }
    END {
      for (i = 1; i <= count; ++i)
        if (!used[entries[i]]) { print "  STALE  known difference \"" entries[i] "\" is hit by no scenario"; ++unexplained }
      print differences + 0, unexplained + 0 > "/dev/stderr"
    }' "$here/known_differences.txt" "$out/differences.txt" 2>"$out/counts.txt"
  read -r differences unexplained <"$out/counts.txt"
  [ -f "$out/logwindow.png" ] || problems+=("no screenshot of the log window was saved")
fi
for problem in "${problems[@]}"; do echo "  FAILED  $problem"; done
unexplained=$((unexplained + ${#problems[@]}))
echo "results in ${out#"$root"/}/results"
echo "e2e: ${#names[@]} scenarios, $differences differences, $unexplained unexplained"
[ "$unexplained" -eq 0 ]
