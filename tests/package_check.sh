#!/usr/bin/env bash
# Usage: tests/package_check.sh
#
# The release as scripts/package.sh makes it, from two clean clones of the last commit at
# different paths, one under LC_ALL=C and one under ja_JP.UTF-8: both pass, build/dist holds the
# setup, the zip and SHA256SUMS that checks them, and both give the same bytes; the shipped exe
# is stripped, stamped with the commit's time and free of build paths, the symbols stay in
# tessary.debug.exe; the zip carries the guide as one self-contained HTML page. Then a signed run
# with a certificate made here: tessary.exe, the uninstaller and the setup verify, and
# SHA256SUMS lists the signed bytes. Uncommitted changes are not tested.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=$(mktemp -d /tmp/tessary-package.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "package_check: FAIL: $*" >&2
    exit 1
}
ok() { echo "package_check: ok: $*"; }

commit=$(git -C "$ROOT" rev-parse HEAD)
git -C "$ROOT" diff --quiet HEAD || echo "package_check: note: testing $commit, not the changes"
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
unset TESSARY_SIGN_PFX TESSARY_SIGN_PASS TESSARY_SIGN_TS SOURCE_DATE_EPOCH

# package DIR LOCALE: a clean clone in DIR, packaged under LOCALE.
package() {
    { git clone -q "$ROOT" "$1" && git -C "$1" checkout -q --detach "$commit"; } ||
        fail "cannot clone $ROOT"
    (cd "$1" && LC_ALL=$2 LANG=$2 CCACHE_BASEDIR=$1 scripts/package.sh) >"$1.log" 2>&1 ||
        fail "package.sh under $2 failed: $(tail -n 20 "$1.log")"
    grep -q "building unsigned" "$1.log" || fail "an unsigned run does not say so"
}
# check_dist DIR: exactly the three files, and the checksums hold.
check_dist() {
    local listed
    listed=$(cd "$1/build/dist" && printf '%s ' *)
    [[ $listed == "SHA256SUMS Tessary-"*"-setup.exe Tessary-"*"-win64.zip " ]] ||
        fail "build/dist holds: $listed"
    [[ $(wc -l <"$1/build/dist/SHA256SUMS") == 2 ]] || fail "SHA256SUMS has not two lines"
    (cd "$1/build/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
}
pe_time() {
    python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); p=struct.unpack_from("<I",d,0x3c)[0]; print(struct.unpack_from("<I",d,p+8)[0])' "$1"
}

A=$WORK/a
B=$WORK/second-clone
package "$A" C
package "$B" ja_JP.UTF-8
check_dist "$A"
check_dist "$B"
ok "package.sh under LC_ALL=C and ja_JP.UTF-8; build/dist and SHA256SUMS"
for f in "$A"/build/dist/*; do
    cmp "$f" "$B/build/dist/${f##*/}" || fail "${f##*/} differs between two clones"
done
ok "two clones give the same bytes"

unzip -q "$A"/build/dist/*.zip -d "$WORK/zip" || fail "the zip does not unpack"
exe=$WORK/zip/Tessary/tessary.exe
debug=$A/build/package/bin/tessary.debug.exe
objdump=x86_64-w64-mingw32-objdump
! $objdump -h "$exe" | grep -q '\.debug_' || fail "the shipped exe has debug sections"
$objdump -t "$exe" | grep -q 'no symbols' || fail "the shipped exe keeps its symbol table"
$objdump -h "$debug" | grep -q '\.debug_info' || fail "tessary.debug.exe has no debug info"
[[ $(pe_time "$exe") == $(git -C "$A" log -1 --format=%ct) ]] ||
    fail "the exe's PE time stamp is not the commit's"
for f in "$exe" "$A"/build/dist/*.exe "$debug"; do
    # Also an earlier run's folder, which the compiler cache may bring in.
    ! strings -a "$f" | grep -Fq -e "$WORK" -e tessary-package. -e "$ROOT" ||
        fail "${f##*/} holds a build path"
done
ok "stripped, dated by the commit, no build paths; symbols in tessary.debug.exe"

guide="$WORK/zip/Tessary/Tessary の使い方.html"
[[ -f $guide ]] || fail "the zip has no guide"
grep -q '<meta charset="utf-8">' "$guide" || fail "the guide declares no charset"
grep -q '<img [^>]*src="data:image/png;base64,' "$guide" || fail "the guide has no inline picture"
! grep -q '<img [^>]*src="[^d]' "$guide" || fail "the guide links a picture outside itself"
grep -q 'font-family' "$guide" || fail "the guide has no style"
ok "the guide is one page with its pictures inline"

# A signed run on clone A, with a certificate made for it.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj "/CN=Tessary test" -addext extendedKeyUsage=codeSigning 2>/dev/null ||
    fail "openssl cannot make a certificate"
openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -out "$WORK/cert.pfx" \
    -passout 'pass:two words' || fail "openssl cannot make the PKCS#12 file"
(cd "$A" && TESSARY_SIGN_PFX=$WORK/cert.pfx TESSARY_SIGN_PASS='two words' scripts/package.sh) \
    >"$A.signed.log" 2>&1 || fail "the signed package.sh failed: $(tail -n 20 "$A.signed.log")"
check_dist "$A"
rm -rf "$WORK/zip"
unzip -q "$A"/build/dist/*.zip -d "$WORK/zip" || fail "the signed zip does not unpack"
for f in "$exe" "$A/build/package/installer/uninstall.exe" "$A"/build/dist/*-setup.exe; do
    osslsigncode verify -CAfile "$WORK/cert.pem" -in "$f" >"$WORK/verify.log" 2>&1 ||
        fail "${f##*/} does not verify: $(tail -n 5 "$WORK/verify.log")"
done
ok "signed: tessary.exe, the uninstaller and the setup verify; SHA256SUMS lists the signed files"
