#!/bin/bash
# The setup's three questions asked of the Linux program on prepared machines: the exit codes,
# and what each command changed on the machine. The machines are prepared with `winsim`.
program="$1"
winsim="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export WINSIM_MACHINE="$dir/machine"
drive="$WINSIM_MACHINE/drive_c"
status=0

fail() { echo "FAIL: $*"; status=1; }
expect() {  # expect CODE WORD...
  local want=$1; shift
  "$program" "$@" >/dev/null 2>&1
  local code=$?
  [ $code -eq "$want" ] || fail "exit $code, expected $want, for: $*"
}
shows() { "$winsim" show | grep -qF -- "$1"; }
spooler_starts() {
  local n
  n=$("$winsim" show | sed -n 's/^service Spooler: .*, \([0-9]*\) starts\{0,1\}$/\1/p')
  [ -n "$n" ] || fail "winsim show gave no spooler starts"
  echo "$n"
}

"$winsim" new || fail "winsim new"

# A fresh machine: no product printer, no pending files, "Microsoft Print to PDF" the default.
expect 3 onChkDrv
expect 102 onInit
expect 4 def.set
shows "printer Microsoft Print to PDF: port PORTPROMPT:, driver 'Microsoft Print To PDF', default" ||
  fail "def.set changed the default"
expect 6 DEF.SET

# The product installed by the tool: its drivers of build 2501 and the printer "lumServer".
expect 1 install
expect 103 onChkDrv
expect 103 ONCHKDRV
expect 102 onInit
expect 4 def.set
shows "printer lumServer: port LumascribeServer:, driver 'Lumascribe Server', share lumServer, default" ||
  fail "def.set did not make the product printer the default"
expect 3 onInit

# A driver DLL without a version resource is not current.
cp "$drive/Program Files/Lumascribe/install/lmshelp.chm" "$drive/Windows/system32/spool/DRIVERS/x64/3/lmsdrv64.dll"
expect 3 onChkDrv

# A pending deletion of an unlocked product file is carried out at once: no restart, no update.
staged='C:\Windows\system32\spool\DRIVERS\x64\lmsui64.dll'
cp "$drive/Program Files/Lumascribe/install/lmsui64.dll" "$drive/Windows/system32/spool/DRIVERS/x64/"
"$winsim" file delete-at-restart "$staged" || fail "winsim file delete-at-restart"
shows "pending \\??\\$staged: deleted at restart" || fail "the deletion was not queued"
before=$(spooler_starts)
expect 3 onInit
[ -e "$drive/Windows/system32/spool/DRIVERS/x64/lmsui64.dll" ] && fail "the pending deletion was not carried out"
[ "$(spooler_starts)" = "$before" ] || fail "the spooler was restarted for nothing"

# The monitor DLL the spooler has loaded stays after two restarts: an update is pending.
"$winsim" file delete-at-restart 'C:\Windows\system32\lmsmon64.dll' || fail "winsim file delete-at-restart"
before=$(spooler_starts)
expect 200 onInit
[ -e "$drive/Windows/system32/lmsmon64.dll" ] || fail "a loaded file was deleted"
[ "$(spooler_starts)" = "$((before + 2))" ] || fail "expected two spooler restarts, got $(( $(spooler_starts) - before ))"

[ $status -eq 0 ] && echo "ok"
exit $status
