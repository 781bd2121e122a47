#!/bin/bash
# End-to-end checks: the cross-built install.exe with the stand-in components in a fresh Wine
# prefix, driven as the product's setup drives it. Where Wine 8 differs from Windows, the
# expected result is Wine's, with the reason beside it.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build-e2e
. "$root/tests/e2e/wine_prefix.sh"

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "  ok    $*"; }
bad() { failed=$((failed + 1)); echo "  FAIL  $*"; }
probe='C:\e2e\probe.exe'
step=0

# Runs the tool with one command word through the probe (which closes a log window and prints
# it) and checks the exit code.
tool_step() {  # expected exit code, command word, [--shift]
  local expected=$1 word=$2 shift_key=${3:-}
  step=$((step + 1))
  result=$out/logs/$step-$word.txt
  wine_run "$result" "$probe" run $shift_key "$tool" "$word"
  local code=$?
  echo "$word -> exit code $code"
  [ "$code" -eq "$expected" ] && ok "exit code $expected" || { bad "exit code $code, expected $expected"; cat "$result"; }
}

take_state() {
  state=$out/logs/$step-state.txt
  wine_run "$state" "$probe" state || bad "probe state failed: $(cat "$state")"
}

has_line() {  # file, exact line, [what]
  grep -Fxq -- "$2" "$1" && ok "${3:-$2}" || bad "missing: $2"
}
lacks_line() {
  grep -Fxq -- "$2" "$1" && bad "present: $2" || ok "${3:-absent: $2}"
}
lacks_prefix() {  # file, line prefix, what
  grep -Fq -- "$2" "$1" && bad "present: $(grep -F -- "$2" "$1" | head -1)" || ok "$3"
}
# The log's errors are exactly Wine's 87 for the x64 and the x86 driver removal.
only_wine_driver_errors() {
  local wine87="Error(14): Can\`t remove the printer-driver 'Lumascribe Server' - (Invalid parameter.)"
  if [ "$(grep -c 'Error(' "$result")" -eq 2 ] && [ "$(grep -Fc -- "$wine87" "$result")" -eq 2 ]; then
    ok "log: error 14 (Wine's 87) for both drivers, no other error"
  else
    bad "log errors: $(grep 'Error(' "$result")"
  fi
}
has_file() { [ -f "$1" ] && ok "file ${1#$cdrive/}" || bad "no file ${1#$cdrive/}"; }
lacks_file() { [ -e "$1" ] && bad "file still there: ${1#$cdrive/}" || ok "gone: ${1#$cdrive/}"; }

echo "== the stand-in components, the probe, and a fresh Wine prefix $WINEPREFIX"
fresh_prefix
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -municode -s -static -o "$out/probe.exe" \
  "$root/tests/e2e/probe.cpp" -lwinspool -luser32 || die "probe failed to build"
mkdir -p "$cdrive/e2e"
cp "$out/probe.exe" "$cdrive/e2e/"
sys=$cdrive/windows/system32
drivers=$sys/spool/drivers

echo "== install on a fresh system (Shift held, so the log window shows)"
tool_step 1 install --shift
has_line "$result" "log window: Lumascribe build 2501- Install log." "log window titled as a log without errors"
has_line "$result" "|     >AddPrinter(lumServer)" "log: the fallback printer is added"
take_state
has_line "$state" "monitor: LumascribeServer: | lmsmon64.dll" "monitor registered"
has_file "$sys/lmsmon64.dll"
has_line "$state" 'driver Windows x64: Lumascribe Server | C:\windows\system32\spool\drivers\x64\3\lmsdrv64.dll | C:\windows\system32\spool\drivers\x64\3\lmsui64.dll | C:\windows\system32\spool\drivers\x64\3\lmshelp.chm' "x64 driver registered"
has_line "$state" 'driver Windows NT x86: Lumascribe Server | C:\windows\system32\spool\drivers\w32x86\3\lmsdrv32.dll | C:\windows\system32\spool\drivers\w32x86\3\lmsui32.dll | C:\windows\system32\spool\drivers\w32x86\3\lmshelp.chm' "x86 driver registered"
for f in x64/3/lmsdrv64.dll x64/3/lmsui64.dll x64/3/lmshelp.chm w32x86/3/lmsdrv32.dll w32x86/3/lmsui32.dll w32x86/3/lmshelp.chm; do
  has_file "$drivers/$f"
done
# The staged copies beside the environment's directory are removed once the spooler has its own.
for f in x64/lmsdrv64.dll x64/lmsui64.dll w32x86/lmsdrv32.dll; do lacks_file "$drivers/$f"; done
has_line "$state" "printer: lumServer | LumascribeServer: | Lumascribe Server | shared as lumServer" "printer lumServer on the product port, shared"
has_line "$state" 'run value: C:\Program Files\Lumascribe\lumtray.exe' "Run value LumascribeTray"
has_line "$state" "tray mutex: present" "tray companion started (mutex)"
has_line "$state" "tray window: present" "tray companion started (window)"

echo "== status probes"
tool_step 103 onChkDrv
tool_step 102 onInit   # no update pending, and Wine has no default printer yet
tool_step 4 def.set
tool_step 3 onInit     # the default printer is now a product printer
take_state
has_line "$state" "default printer: lumServer" "def.set made lumServer the default printer"

echo "== reinstall over the installed product"
# What the product's other components keep for a printer: its settings key (marked deleted while
# the printer is away), comment and location. The reinstall must carry them across.
wine_run "$out/logs/settings.txt" "$probe" settings lumServer Lumascribe1 "e2e comment" "e2e room" ||
  bad "cannot give lumServer its settings: $(cat "$out/logs/settings.txt")"
userkey='HKCU\Software\Veldrin Software KFT\Lumascribe\Lumascribes\Lumascribe1'
wine_run "$out/logs/userkey.txt" reg add "$userkey" /v deleted /t REG_DWORD /d 1 /f || bad "cannot write $userkey"
wine_run "$out/logs/deleted.txt" reg query "$userkey" /v deleted && ok "settings key marked deleted" ||
  bad "the settings key's deleted mark cannot be read back"
# Wine: DeletePrinterDriverExW supports no DPD_DELETE_ALL_FILES and fails with 87, so removing the
# old drivers (x64 and x86) reports error 14 twice and the install ends with 100. Windows gives 1.
tool_step 100 install
has_line "$result" "log window: Lumascribe build 2501- Install error log!" "log window titled as an error log"
only_wine_driver_errors
has_line "$result" "|           Version (2501) is compatible, proceed without uninstall" "monitor of the same build stays"
take_state
has_line "$state" "printer: lumServer | LumascribeServer: | Lumascribe Server | shared as lumServer" "lumServer recreated, shared"
has_line "$state" "printer lumServer: comment e2e comment | location e2e room | settings key Lumascribe1" "comment, location and settings key restored"
has_line "$state" "default printer: lumServer" "lumServer is the default printer again"
wine_run "$out/logs/deleted.txt" reg query "$userkey" /v deleted && bad "the settings key is still marked deleted" ||
  ok "settings key no longer marked deleted"
has_line "$state" "monitor: LumascribeServer: | lmsmon64.dll" "monitor still registered"
has_line "$state" "tray mutex: present" "tray companion running again"
has_file "$appdir/lumtray.exe"

echo "== uninstall"
# Wine: the same 87 from DeletePrinterDriverExW (error 14 twice, exit 100; Windows gives 2), and
# the drivers stay registered.
tool_step 100 uninstall
only_wine_driver_errors
has_line "$result" "|       Monitor was removed :)" "log: monitor removed"
take_state
lacks_prefix "$state" "monitor: LumascribeServer:" "monitor unregistered"
lacks_file "$sys/lmsmon64.dll"
lacks_prefix "$state" "printer: lumServer" "printer lumServer deleted"
has_line "$state" "default printer: (none)" "no default printer left"
has_line "$state" "run value: (none)" "Run value removed"
has_line "$state" "tray mutex: absent" "tray companion ended (its mutex is gone)"
has_line "$state" "tray window: absent" "tray companion's window gone"
lacks_file "$appdir/lumtray.exe"
has_line "$state" 'driver Windows x64: Lumascribe Server | C:\windows\system32\spool\drivers\x64\3\lmsdrv64.dll | C:\windows\system32\spool\drivers\x64\3\lmsui64.dll | C:\windows\system32\spool\drivers\x64\3\lmshelp.chm' \
  "x64 driver still registered (Wine: no DPD_DELETE_ALL_FILES)"

echo "e2e: $passed passed, $failed failed (outputs in ${out#$root/}/logs)"
[ "$failed" -eq 0 ]
