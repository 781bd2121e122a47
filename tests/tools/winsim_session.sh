#!/bin/bash
# A person's session with `winsim` and `install`: a machine with the product, one more printer
# with settings, a reinstall that keeps them, a monitor DLL another program holds through an
# uninstall, the restart that deletes it, and what changed over it all. Then the ways a person
# gets `winsim` wrong.
program="$1"
winsim="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export WINSIM_MACHINE="$dir/machine"
status=0

fail() { echo "FAIL: $*"; status=1; }
run() {  # run CODE COMMAND...: the exit code, with standard error kept in $dir/err
  local want=$1; shift
  "$@" >"$dir/out" 2>"$dir/err"
  local code=$?
  [ $code -eq "$want" ] || fail "exit $code, expected $want, for: $* ($(cat "$dir/err"))"
}
shows() { "$winsim" show >"$dir/show"; grep -qxF -- "$1" "$dir/show" || fail "show lacks: $1"; }
lacks() { "$winsim" show >"$dir/show"; grep -qF -- "$1" "$dir/show" && fail "show still has: $1"; }
said() { grep -qF -- "$1" "$dir/err" && [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "stderr is not one line with: $1 ($(cat "$dir/err"))"; }

desk="printer Desk: port LumascribeServer:, driver 'Lumascribe Server', comment 'by the window', location 'Room 1', default, settings key Desk"
run 0 "$winsim" new --installed
cp -R "$WINSIM_MACHINE" "$dir/start"
shows "printer Office: port LumascribeServer:, driver 'Lumascribe Server', share Office, comment 'Second floor', location 'Room 2.14', default, settings key Office"
shows "printer Home: port LumascribeServer:, driver 'Lumascribe Server', share LumHome, settings key Home"
run 0 "$winsim" printer add Desk --subkey Desk --comment "by the window" --location "Room 1" --default
shows "$desk"
run 1 "$program" install
shows "${desk/comment/share Desk, comment}"
shows "companion lumtray.exe: running (pid 4144) as Bob, not elevated, session 1"

monitor='C:\Windows\system32\lmsmon64.dll'
run 0 "$winsim" hold "$monitor" --error 5
shows "hold $monitor: by winsim hold until released, delete fails with 5"
run 101 "$program" uninstall
shows "pending \\??\\$monitor: deleted at restart"
shows "file $monitor: build 2501"
lacks "printer Desk"
run 0 "$winsim" reboot
lacks "$monitor"
shows "companion lumtray.exe: not running"
run 1 "$program" install
"$winsim" diff "$dir/start" "$WINSIM_MACHINE" >"$dir/diff" || fail "winsim diff"
cat >"$dir/want" <<'END'
- printer Home: port LumascribeServer:, driver 'Lumascribe Server', share LumHome, settings key Home
- printer Office: port LumascribeServer:, driver 'Lumascribe Server', share Office, comment 'Second floor', location 'Room 2.14', default, settings key Office
- pending \??\C:\Windows\system32\spool\DRIVERS\x64\3\Old\1\lmsdrv64.dll: deleted at restart
- pending \??\C:\Windows\system32\spool\DRIVERS\x64\3\Old\1\lmsui64.dll: deleted at restart
- file C:\Program Files\Lumascribe\lumtray.exe: build 2501
- file C:\Windows\system32\spool\DRIVERS\x64\3\Old\1\lmsdrv64.dll: build 2501
- file C:\Windows\system32\spool\DRIVERS\x64\3\Old\1\lmsui64.dll: build 2501
+ printer lumServer: port LumascribeServer:, driver 'Lumascribe Server', share lumServer
~ companion lumtray.exe: running 'yes, pid 4128' → 'no'
~ companion lumtray.exe: runs as 'Bob, not elevated, session 1' → ''
~ process C:\Windows\explorer.exe: pid '4096' → '4160'
+ rights C:\Windows\SystemTemp\Lumascribe-install-20260101-000000-4136.log: owner S-1-5-32-544, protected: 0x1f01ff S-1-5-18; 0x1f01ff S-1-5-32-544; 0x1f01ff S-1-5-21-3623811015-3361044348-30300820-1001
+ rights C:\Windows\SystemTemp\Lumascribe-uninstall-20260101-000000-4152.log: owner S-1-5-32-544, protected: 0x1f01ff S-1-5-18; 0x1f01ff S-1-5-32-544; 0x1f01ff S-1-5-21-3623811015-3361044348-30300820-1001
+ rights C:\Windows\SystemTemp\Lumascribe-install-20260101-000001-4168.log: owner S-1-5-32-544, protected: 0x1f01ff S-1-5-18; 0x1f01ff S-1-5-32-544; 0x1f01ff S-1-5-21-3623811015-3361044348-30300820-1001
+ event 3: Lumascribe Setup information 1: Lumascribe setup install: exit code 1 | Log file: C:\Windows\SystemTemp\Lumascribe-install-20260101-000000-4136.log | First error: none
+ event 4: Lumascribe Setup warning 101: Lumascribe setup uninstall: exit code 101 | Log file: C:\Windows\SystemTemp\Lumascribe-uninstall-20260101-000000-4152.log | First error: none
+ event 5: Lumascribe Setup information 1: Lumascribe setup install: exit code 1 | Log file: C:\Windows\SystemTemp\Lumascribe-install-20260101-000001-4168.log | First error: none
END
diff -u "$dir/want" "$dir/diff" || fail "the diff of the session"
"$winsim" diff "$dir/start" "$dir/start" >"$dir/diff"
[ "$(cat "$dir/diff")" = "no changes" ] || fail "a machine differs from itself: $(cat "$dir/diff")"

# The other changes a person makes, each shown as it was made.
run 0 "$winsim" fault DeleteMonitorW --error 3008 --match Lumascribe --first 2 --last 3
shows "fault DeleteMonitorW: error 3008, match 'Lumascribe', calls 2 to 3, seen 0"
run 0 "$winsim" file put 'C:\Windows\system32\lmsmon64.dll' --build 2400 --readonly
shows 'file C:\Windows\system32\lmsmon64.dll: build 2400, read-only'
starts=$("$winsim" show | sed -n 's/^service Spooler: running .*, \([0-9]*\) starts\{0,1\}$/\1/p')
[ -n "$starts" ] || fail "no spooler starts shown"
run 0 "$winsim" service spooler --state stopped --start-delay -1
word=starts; [ "$starts" = 1 ] && word=start
shows "service Spooler: stopped (start never, stop 300 ms), $starts $word"
run 1 "$winsim" printer add Late
said "AddPrinterW failed with error 1722"
run 0 "$winsim" service spooler --state running
shows "service Spooler: running (start never, stop 300 ms), $((starts + 1)) starts"
run 0 "$winsim" printer remove lumServer
lacks "printer lumServer"
# A package folder where everyone may add files: the install refuses it until the entry goes.
run 0 "$winsim" acl 'C:\Program Files\Lumascribe' --grant 'Everyone:(CI)WD'
shows 'rights C:\Program Files\Lumascribe: owner S-1-5-32-544: (CI)0x2 S-1-1-0'
run 100 "$program" install
run 0 "$winsim" acl 'C:\Program Files\Lumascribe' --remove Everyone --owner Bob
shows 'rights C:\Program Files\Lumascribe: owner S-1-5-21-3623811015-3361044348-30300820-1002'

# Mistakes: each is one line on standard error and a non-zero exit, and changes nothing.
cp "$WINSIM_MACHINE/machine.json" "$dir/before.json"
run 1 "$winsim" printer add Office2 --driver "No Such Driver"
said "AddPrinterW failed with error 1797"
run 1 "$winsim" printer remove Nobody
said "OpenPrinterW failed with error 1801"
run 1 "$winsim" hold 'C:\nothing.dll'
said 'C:\nothing.dll: no such file on the machine'
run 1 "$winsim" acl 'C:\Windows' --grant 'Nobody:F'
said "'Nobody:F': no such account"
run 1 "$winsim" new
said "already holds a machine"
run 2 "$winsim" hold "$monitor" --error 7
run 2 "$winsim" printer
run 2 "$winsim" frobnicate
cmp -s "$dir/before.json" "$WINSIM_MACHINE/machine.json" || fail "a mistake changed the machine"
for words in "" "new" "show" "diff" "reboot" "printer" "printer add" "printer remove" "hold" "fault" "file put" \
             "file delete-at-restart" "service spooler" "acl"; do
  run 0 "$winsim" $words --help
  grep -q "Usage" "$dir/out" || fail "no usage for: winsim $words --help"
done
run 1 "$winsim" show --machine "$dir/none"
said "holds no machine.json"
[ -e "$dir/none" ] && fail "show made a machine directory"
# The complete example of the machine file's description loads as it stands.
mkdir "$dir/example"
awk '/^```json/ { on = 1; next } /^```/ { on = 0 } on' "$(dirname "$0")/../../docs/machine.md" >"$dir/example/machine.json"
run 0 "$winsim" show --machine "$dir/example"
grep -qxF "printer Office: port FILE:, driver 'Microsoft Print To PDF', share Office, comment 'Second floor', location 'Room 2.14', default, jobs 2, settings key Office" "$dir/out" ||
  fail "the example machine does not show its printer"
echo '{"format": 1, "ui": {"shiftDown": 1}}' >"$WINSIM_MACHINE/machine.json"
run 125 "$winsim" show
said "/ui/shiftDown: expected true or false, found number 1"
run 125 "$winsim" reboot

# The broken machine replaced without a word, and a second run waits while another has it.
run 0 "$winsim" new --force
[ -s "$dir/err" ] && fail "new --force complained: $(cat "$dir/err")"
flock "$WINSIM_MACHINE" sleep 1 &
sleep 0.2
start=$(date +%s%N)
run 0 "$winsim" reboot
[ $(( ($(date +%s%N) - start) / 1000000 )) -ge 500 ] || fail "winsim did not wait for the machine's lock"
wait

[ $status -eq 0 ] && echo "ok"
exit $status
