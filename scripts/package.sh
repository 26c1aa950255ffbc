#!/usr/bin/env bash
# Usage: scripts/package.sh
#
# The release: installs what is missing (scripts/setup.sh, which brings makensis), builds the
# release tessary.exe, the installer and the portable zip in build/package (the dist target of
# installer/CMakeLists.txt), and leaves exactly these files in build/dist/:
#   Tessary-<version>-setup.exe   per-user installer (NSIS)
#   Tessary-<version>-win64.zip   portable folder Tessary\ with the exe, the settings file and
#                                 the guide
#   SHA256SUMS                    both files' SHA-256 (check with: sha256sum -c SHA256SUMS)
# The version is the one of project() in CMakeLists.txt. The shipped exe is stripped; the one
# with symbols stays as build/package/bin/tessary.debug.exe for crash reports.
#
# Reproducible: from the same commit, in any folder and any locale, the setup and the zip are
# the same bytes (dates come from the commit, SOURCE_DATE_EPOCH). Signed runs are not.
#
# Signing, optional: with TESSARY_SIGN_PFX (a PKCS#12 file) and TESSARY_SIGN_PASS (its password)
# set, tessary.exe, the uninstaller and the setup are signed (Authenticode, SHA-256, with
# osslsigncode); with a time stamp only when TESSARY_SIGN_TS names a time stamp server (URL).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

die() {
    echo "package.sh: $*" >&2
    exit 1
}

scripts/setup.sh || die "installing the packages failed (scripts/setup.sh, message above)"
command -v makensis >/dev/null || die "makensis not found after scripts/setup.sh"

if [[ -n ${TESSARY_SIGN_PFX:-} ]]; then
    [[ -f $TESSARY_SIGN_PFX ]] || die "TESSARY_SIGN_PFX: $TESSARY_SIGN_PFX not found"
    command -v osslsigncode >/dev/null || die "osslsigncode not found after scripts/setup.sh"
    sign=ON
    echo "package.sh: signing with $TESSARY_SIGN_PFX${TESSARY_SIGN_TS:+, time stamp from $TESSARY_SIGN_TS}"
else
    sign=OFF
    echo "package.sh: TESSARY_SIGN_PFX not set: building unsigned"
fi

# The PE time stamps (ld reads SOURCE_DATE_EPOCH) and the packed files' dates: the commit's.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        die "not a git checkout: set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH

BUILD=build/package
# -g only feeds tessary.debug.exe: it does not change the code, and the shipped exe is stripped.
cmake --preset mingw -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g -DTESSARY_SIGN=$sign >/dev/null ||
    die "CMake could not configure $BUILD"
# Signed or not, the release files are made anew.
rm -rf "$BUILD/dist" "$BUILD/installer/staged.stamp" "$BUILD/installer/uninstall.exe"
cmake --build "$BUILD" --target dist -j "$(nproc)" || die "the build failed (messages above)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[[ -n $version ]] || die "no project version in $BUILD/CMakeCache.txt"
files=("$BUILD/dist/Tessary-$version-setup.exe" "$BUILD/dist/Tessary-$version-win64.zip")
for f in "${files[@]}"; do
    [[ -f $f ]] || die "the build did not make $f"
done
rm -rf build/dist
mkdir -p build/dist
cp "${files[@]}" build/dist/
(cd build/dist && sha256sum -- "${files[@]##*/}" >SHA256SUMS) || die "sha256sum failed"
echo "package.sh: Tessary $version:"
ls -l build/dist | sed -n 's/^.* \(Tessary-.*\|SHA256SUMS\)$/    build\/dist\/\1/p'
