#!/bin/sh
# scripts/sign.sh with a throwaway code-signing certificate: without a usable certificate or
# timestamp server it fails and leaves the image alone; its signature verifies against that
# certificate, and no longer once a byte of the image changes.
fail() { echo "FAIL: $*"; exit 1; }
sign="$(dirname "$0")/../../scripts/sign.sh"
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && exe="$work/install.exe"
cp -p "$1" "$exe" || fail "no image $1 (make windows)"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway" -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null && openssl pkcs12 -export -passout pass:pw \
  -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/t.pfx" || fail "openssl cannot make a certificate"
for bad in "|pw|" "$work/none.pfx|pw|" "$work/t.pfx|wrong|" "$work/t.pfx|pw|http://127.0.0.1:9"; do
  echo "$bad" | { IFS='|' read -r SIGN_PFX SIGN_PASS SIGN_TIMESTAMP; export SIGN_PFX SIGN_PASS SIGN_TIMESTAMP
    "$sign" "$exe" 2>/dev/null; } && fail "signed with '$bad'"
  cmp -s "$1" "$exe" || fail "'$bad' changed the image"
done
SIGN_PFX="$work/t.pfx" SIGN_PASS=pw "$sign" "$exe" >/dev/null && [ -x "$exe" ] || fail "signing failed"
osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >/dev/null || fail "the signature is not accepted"
middle=$(($(wc -c <"$exe") / 2)) && byte=$(od -An -tu1 -j $middle -N1 "$exe")
printf "\\$(printf %o $((byte ^ 1)))" | dd of="$exe" bs=1 seek=$middle conv=notrunc 2>/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >/dev/null 2>&1 && fail "a changed image still verifies"
echo "ok: refused 4 bad settings, signed, verified, and rejected after byte $middle changed"
