#!/bin/sh
# The Windows build: a PE32+ x86-64 GUI image with the elevation manifest, the log dialog and the
# version resource, hardened, that imports at start only DLLs Windows takes from the system
# directory whatever the tool's folder holds (KnownDLLs), and delay-loads the others.
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
# The version resource (type 16, id 1, language 1033), its build the one the source defines.
echo "$resources" | grep -qx "0x000010/0x000001/0x000409" || fail "no version resource (type 16, id 1)"
build=$(sed -n 's/^#define PRODUCT_BUILD //p' "$(dirname "$0")/../../drv/install/core/build_number.h")
version=$(x86_64-w64-mingw32-windres -i "$exe" -O rc | sed -n '/ VERSIONINFO$/,/^END/s/^[[:space:]]*//p')
for line in "FILEVERSION 1, 0, 0, $build" "PRODUCTVERSION 1, 0, 0, $build" 'VALUE "ProductName", "Lumascribe"' \
  "VALUE \"FileVersion\", \"1.0.0.$build\"" "VALUE \"ProductVersion\", \"1.0.0.$build\"" 'VALUE "InternalName", "install"' \
  'VALUE "CompanyName", "Veldrin Software KFT"' 'VALUE "FileDescription", "Lumascribe setup"' \
  'VALUE "OriginalFilename", "install.exe"' 'VALUE "LegalCopyright", "Copyright (C) 2026 Veldrin Software KFT"'; do
  echo "$version" | grep -qxF "$line" || fail "version resource lacks: $line"
done

lower() { echo "$*" | tr A-Z a-z; }
# Only KnownDLLs at start: any other DLL would be looked for first in the tool's own folder. Of
# those, only the ones that import nothing else but KnownDLLs under Wine too (not user32, shell32).
known="kernel32.dll advapi32.dll msvcrt.dll"
dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
  case " $known " in *" $(lower "$dll") "*) ;; *) fail "imports $dll at start: only $known may be" ;; esac
done

# Delay imports: GNU ld leaves the image's delay-import directory empty, so the descriptors are
# found through their symbols and read from the file (IMAGE_DELAYLOAD_DESCRIPTOR: the DLL name's
# RVA at offset 4, the name table's at 16).
base=$((0x$(echo "$dump" | sed -n 's/^ImageBase[[:space:]]*//p')))
sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '$1 ~ /^[0-9]+$/ { print $2, $3, $4, $6 }')
offset_of() {  # virtual address -> file offset, through the section that holds it
  echo "$sections" | while read -r name size vma off; do
    if [ $(($1 >= 0x$vma && $1 < 0x$vma + 0x$size)) = 1 ]; then echo $(($1 - 0x$vma + 0x$off)); fi
  done
}
u32_at() { od -An -tu4 -j "$(offset_of "$1")" -N4 "$exe" | tr -d ' '; }
string_at() { tail -c +$(($(offset_of "$1") + 1)) "$exe" | head -c 260 | tr '\0' '\n' | head -n 1; }
symbols=$(x86_64-w64-mingw32-nm "$exe" 2>/dev/null)
[ -n "$symbols" ] || fail "no symbol table: the delay imports cannot be found in a stripped image"
delayed=
calls=0
for descriptor in $(echo "$symbols" | awk '$3 ~ /^__DELAY_IMPORT_DESCRIPTOR_/ { print $1 }'); do
  dll=$(lower "$(string_at $((base + $(u32_at $((0x$descriptor + 4))))))")
  delayed="$delayed $dll"
  entry=$((base + $(u32_at $((0x$descriptor + 16)))))
  while [ "$(u32_at $entry)" != 0 ]; do
    calls=$((calls + 1))
    entry=$((entry + 8))
  done
done
delayed=$(echo $delayed | tr ' ' '\n' | sort | tr '\n' ' ')
[ "$delayed" = "shell32.dll user32.dll version.dll winspool.drv " ] ||
  fail "delay-loads [${delayed% }], not exactly shell32.dll user32.dll version.dll winspool.drv"
echo "$symbols" | grep -q " T __delayLoadHelper2$" || fail "no delay-load helper"

# ASLR (with relocations to move the image, and 64-bit addresses), DEP.
flags=$((0x$(echo "$dump" | sed -n 's/^DllCharacteristics[[:space:]]*//p')))
for flag in HIGH_ENTROPY_VA:0x20 DYNAMIC_BASE:0x40 NX_COMPAT:0x100; do
  [ $((flags & ${flag#*:})) != 0 ] || fail "DllCharacteristics $(printf '%08x' $flags) lack ${flag%:*}"
done
[ $((0x$(echo "$dump" | sed -n 's/^Characteristics[[:space:]]*0x//p') & 1)) = 0 ] || fail "relocations stripped"
echo "$dump" | grep -q "Base Relocation Directory \[.reloc\]" || fail "no base relocations: the image cannot move"
# objdump marks a section executable as CODE and one that is not writable as READONLY.
wx=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '$1 ~ /^[0-9]+$/ { name = $2; next }
  name != "" && /CODE/ && !/READONLY/ { print name } { name = "" }')
[ -z "$wx" ] || fail "sections both writable and executable: $wx"
# Stack protector: protected functions end by calling __stack_chk_fail when the guard is hit.
guarded=$(x86_64-w64-mingw32-objdump -d "$exe" | grep -c "call.*<__stack_chk_fail>")
[ "$guarded" -gt 0 ] || fail "no function checks the stack guard"
# libssp seeds the guard through a crypto provider, loading DLLs before the entry narrows the search.
echo "$dump" | grep -q "CryptAcquireContext" && fail "the stack guard is seeded through CryptAcquireContext"

echo "ok: imports $(echo $dlls); delay-loads ${delayed}($calls functions);" \
  "DllCharacteristics $(printf '%08x' $flags); no W+X section; $guarded stack-guard checks"
