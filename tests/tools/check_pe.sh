#!/bin/sh
# The Windows build: a PE32+ x86-64 GUI image with the elevation manifest and the log dialog,
# importing nothing but Windows' own DLLs.
exe="$1"
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$exe" ] || fail "$exe is missing (make windows)"
dump=$(x86_64-w64-mingw32-objdump -p "$exe") || fail "objdump cannot read $exe"
echo "$dump" | grep -q "file format pei-x86-64" || fail "not a PE32+ x86-64 image"
echo "$dump" | grep -q "^Magic[[:space:]]*020b" || fail "optional header is not PE32+"
echo "$dump" | grep -q "^Subsystem[[:space:]]*00000002" || fail "not a GUI-subsystem program"
# Resource directory: type 24 (manifest) id 1, and type 5 (dialog) id 101 in language 1033.
# objdump indents type, name and language entries by 3, 5 and 7 blanks: list them as paths.
resources=$(echo "$dump" | sed -n '/The .rsrc Resource Directory/,$p' | awk '
  /^[0-9a-f]+   Entry: ID:/ { type = $4; sub(",", "", type) }
  /^[0-9a-f]+     Entry: ID:/ { name = $4; sub(",", "", name) }
  /^[0-9a-f]+       Entry: ID:/ { lang = $4; sub(",", "", lang); print type "/" name "/" lang }')
echo "$resources" | grep -qx "0x000018/0x000001/0x000409" || fail "no manifest (type 24, id 1)"
echo "$resources" | grep -qx "0x000005/0x000065/0x000409" || fail "no dialog 101 in language 1033"
grep -q 'requestedExecutionLevel level="requireAdministrator" uiAccess="false"' "$exe" \
  || fail "manifest does not request administrator rights"
grep -q 'name="Lumascribe.Install"' "$exe" || fail "manifest has the wrong assembly name"
allowed="KERNEL32.dll USER32.dll ADVAPI32.dll SHELL32.dll WINSPOOL.DRV VERSION.dll msvcrt.dll"
dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
  ok=no
  for a in $allowed; do
    [ "$(echo "$dll" | tr A-Z a-z)" = "$(echo "$a" | tr A-Z a-z)" ] && ok=yes
  done
  [ $ok = yes ] || fail "imports $dll, which is not a Windows system DLL"
done
echo "ok: $(echo $dlls)"
