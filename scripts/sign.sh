#!/bin/sh
# Signs a Windows image in place (Authenticode, SHA-256) with the certificate and key of the
# PKCS#12 file $SIGN_PFX, opened with $SIGN_PASS, timestamped (RFC 3161) by the server
# $SIGN_TIMESTAMP names, if any. The image is replaced only once its signed copy is complete.
image=${1:-build-windows/bin/install.exe}
fail() { echo "sign: $*" >&2; exit 1; }
[ -n "$SIGN_PFX" ] || fail "SIGN_PFX is not set: name the PKCS#12 file (.pfx) that holds the code-signing certificate and its key, and give its password as SIGN_PASS"
[ -r "$SIGN_PFX" ] || fail "cannot read SIGN_PFX '$SIGN_PFX'"
[ -f "$image" ] || fail "$image is missing (make windows)"
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (make deps)"
# Beside the image, so that the signed copy replaces it by a rename.
work=$(mktemp -d "$(dirname "$image")/.sign.XXXXXX") || fail "cannot make a folder beside $image"
trap 'rm -rf "$work"' EXIT
# The password through a file only this user can read, not on a command line anyone can list;
# osslsigncode reads no empty password from a file.
pass=
if [ -n "$SIGN_PASS" ]; then
  (umask 077 && printf '%s' "$SIGN_PASS" > "$work/pass") || fail "cannot write $work/pass"
  pass="$work/pass"
fi
osslsigncode sign -pkcs12 "$SIGN_PFX" ${pass:+-readpass "$pass"} -h sha256 -n "Lumascribe setup" \
  ${SIGN_TIMESTAMP:+-ts "$SIGN_TIMESTAMP"} -in "$image" -out "$work/signed" >/dev/null ||
  fail "osslsigncode could not sign $image (see above); it is left as it was"
chmod --reference="$image" "$work/signed" && mv -f "$work/signed" "$image" || fail "cannot replace $image"
echo "signed $image${SIGN_TIMESTAMP:+, timestamped by $SIGN_TIMESTAMP}"
