#!/bin/bash
# The setup's three questions asked of the Linux program on prepared machines: the exit codes,
# and what each command changed on the machine.
program="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export WINSIM_MACHINE="$dir/machine"
json="$WINSIM_MACHINE/machine.json"
drive="$WINSIM_MACHINE/drive_c"
status=0

fail() { echo "FAIL: $*"; status=1; }
edit() { jq "$1" "$json" >"$dir/next.json" && mv "$dir/next.json" "$json"; }
expect() {  # expect CODE WORD...
  local want=$1; shift
  "$program" "$@" >/dev/null 2>&1
  local code=$?
  [ $code -eq "$want" ] || fail "exit $code, expected $want, for: $*"
}
field() { jq -r "$1" "$json"; }
spooler_starts() { field '.services[] | select(.name=="Spooler") | .starts'; }

"$program" >/dev/null 2>&1  # boots the default machine

# A fresh machine: no product printer, no pending files, "Microsoft Print to PDF" the default.
expect 3 onChkDrv
expect 102 onInit
expect 4 def.set
[ "$(field .spooler.defaultPrinter)" = "Microsoft Print to PDF" ] || fail "def.set changed the default"
expect 6 DEF.SET

# The product installed: its x64 driver (build 2501) and one printer on its port.
drivers="$drive/Windows/system32/spool/DRIVERS/x64/3"
cp "$drive/Program Files/Lumascribe/install/lmsdrv64.dll" "$drive/Program Files/Lumascribe/install/lmsui64.dll" "$drivers/"
edit '.drivers.installed += [{"environment":"Windows x64","name":"Lumascribe Server","version":3,
        "driverPath":"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmsdrv64.dll",
        "dataFile":"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmsdrv64.dll",
        "configFile":"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmsui64.dll"}]
      | .spooler.printers += [{"printerName":"Lumascribe","portName":"LumascribeServer:",
        "driverName":"Lumascribe Server","attributes":64}]'
expect 103 onChkDrv
expect 103 ONCHKDRV
expect 102 onInit
expect 4 def.set
[ "$(field .spooler.defaultPrinter)" = "Lumascribe" ] || fail "def.set did not make the product printer the default"
expect 3 onInit

# A driver DLL without a version resource is not current.
cp "$drive/Program Files/Lumascribe/install/lmshelp.chm" "$drivers/lmsdrv64.dll"
expect 3 onChkDrv

# A pending deletion of an unlocked product file is carried out at once: no restart, no update.
cp "$drive/Program Files/Lumascribe/install/lmsmon64.dll" "$drive/Windows/system32/lmsmon64.dll"
pending='(.. | objects | select(.name=="Session Manager") | .values) = [{"name":"PendingFileRenameOperations",
          "type":"REG_MULTI_SZ","strings":["\\??\\C:\\Windows\\system32\\lmsmon64.dll",""]}]'
edit "$pending"
before=$(spooler_starts)
expect 3 onInit
[ -e "$drive/Windows/system32/lmsmon64.dll" ] && fail "the pending deletion was not carried out"
[ "$(spooler_starts)" = "$before" ] || fail "the spooler was restarted for nothing"

# The same file loaded by the spooler as the registered monitor stays after two restarts.
cp "$drive/Program Files/Lumascribe/install/lmsmon64.dll" "$drive/Windows/system32/lmsmon64.dll"
edit '.monitors.monitors += [{"name":"LumascribeServer:","environment":"Windows x64","dllName":"lmsmon64.dll",
        "ports":["LumascribeServer:"]}]'
edit "$pending"
before=$(spooler_starts)
expect 200 onInit
[ -e "$drive/Windows/system32/lmsmon64.dll" ] || fail "a loaded file was deleted"
[ "$(spooler_starts)" = "$((before + 2))" ] || fail "expected two spooler restarts, got $(( $(spooler_starts) - before ))"

[ $status -eq 0 ] && echo "ok"
exit $status
