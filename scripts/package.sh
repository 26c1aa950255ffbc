#!/usr/bin/env bash
# Usage: scripts/package.sh
#
# The release: installs what is missing (scripts/setup.sh, which brings makensis), builds the
# release tessary.exe, the installer and the portable zip in build/package (the dist target of
# installer/CMakeLists.txt), and leaves exactly these two files in build/dist/:
#   Tessary-<version>-setup.exe   per-user installer (NSIS)
#   Tessary-<version>-win64.zip   portable folder Tessary\ with the exe and the settings file
# The version is the one of project() in CMakeLists.txt.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

die() {
    echo "package.sh: $*" >&2
    exit 1
}

scripts/setup.sh || die "installing the packages failed (scripts/setup.sh, message above)"
command -v makensis >/dev/null || die "makensis not found after scripts/setup.sh"

BUILD=build/package
cmake --preset mingw -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null ||
    die "CMake could not configure $BUILD"
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
echo "package.sh: Tessary $version:"
ls -l build/dist | sed -n 's/^.* \(Tessary-.*\)$/    build\/dist\/\1/p'
