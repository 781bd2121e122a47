#!/bin/bash
# Any command line the tool does not know ends with exit code 6, without a crash and without
# a change to the machine.
program="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export WINSIM_MACHINE="$dir/machine"
"$program" >/dev/null 2>&1   # boots the default machine
cp "$WINSIM_MACHINE/machine.json" "$dir/before.json"
long=$(head -c 40000 /dev/zero | tr '\0' 'x')
status=0
check() {
  "$program" "$@" >"$dir/out" 2>&1
  code=$?
  if [ $code -ne 6 ]; then
    echo "FAIL: exit $code for: $(echo "$*" | cut -c1-60)"; status=1
  elif ! cmp -s "$dir/before.json" "$WINSIM_MACHINE/machine.json"; then
    echo "FAIL: the machine changed for: $(echo "$*" | cut -c1-60)"; status=1
  fi
}
check
check ""
check "" ""
check unknown
check unknown 1 2 3
check DEF.SET
check def.sets
check "in\"stall" 99999999999999999999999
check 'un\"' -5
check "$long"
check "$long" "$long"
check "-1" "-2147483649"
check $'tab\there' "quote\"inside"
[ $status -eq 0 ] && echo "ok"
exit $status
