#!/usr/bin/env bash
# Usage: scripts/sign.sh FILE.exe [COPY]
#
# Authenticode-signs FILE.exe in place with osslsigncode (SHA-256) using the certificate in
# TESSARY_SIGN_PFX and its password TESSARY_SIGN_PASS; with a time stamp only when
# TESSARY_SIGN_TS names a time stamp server. COPY, when given, gets a copy of the signed file
# (the uninstaller is signed inside makensis and would otherwise only exist inside the setup).
# Called by the build for tessary.exe and by makensis (!finalize, !uninstfinalize).
set -euo pipefail

die() {
    echo "sign.sh: $*" >&2
    exit 1
}

file=${1:?usage: sign.sh FILE.exe [COPY]}
[[ -n ${TESSARY_SIGN_PFX:-} ]] || die "TESSARY_SIGN_PFX is not set"
[[ -f $TESSARY_SIGN_PFX ]] || die "certificate $TESSARY_SIGN_PFX not found"
command -v osslsigncode >/dev/null || die "osslsigncode not found (scripts/setup.sh)"

args=(sign -pkcs12 "$TESSARY_SIGN_PFX" -h sha256 -n Tessary)
[[ -n ${TESSARY_SIGN_TS:-} ]] && args+=(-ts "$TESSARY_SIGN_TS")
signed=$file.signing
rm -f "$signed"
# The password goes through a pipe, not the command line that ps shows.
osslsigncode "${args[@]}" -readpass <(printf %s "${TESSARY_SIGN_PASS:-}") -in "$file" -out "$signed" \
    >/dev/null || {
    rm -f "$signed"
    die "signing $file failed"
}
mv -f "$signed" "$file"
if (($# > 1)); then
    cp -f "$file" "$2"
fi
