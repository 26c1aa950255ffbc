#!/usr/bin/env bash
# Installs everything needed to build Tessary, run its tests and run it under Wine
# on Debian 12. Run as root. Safe to run again: does nothing when all is present.
set -euo pipefail

PACKAGES=(
    # build
    cmake make
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 # x86_64-w64-mingw32-windres
    mingw-w64-tools
    googletest # sources in /usr/src/googletest, built with the cross compiler
    # run and test under Wine on a virtual display
    wine wine64 libcups2 # Wine prints through libcups (only recommended by libwine)
    fonts-wine # Marlett: the title bars' caption buttons
    xvfb xclip xdotool x11-utils x11-xserver-utils imagemagick
    # printing to PDF
    cups cups-client cups-bsd cups-ipp-utils printer-driver-cups-pdf ghostscript
    poppler-utils
    # Japanese
    fonts-ipafont-gothic locales
    python3 procps
    # packaging (scripts/package.sh)
    nsis zip unzip
    python3-markdown # the guide's HTML page
    osslsigncode openssl # optional signing, and its test
    # static checks and fuzzing
    clang clang-tidy cppcheck libclang-rt-14-dev
)
LOCALE=ja_JP.UTF-8

die() {
    echo "setup.sh: $*" >&2
    exit 1
}

[[ $(id -u) -eq 0 ]] || die "must be run as root (try: sudo $0)"
command -v dpkg-query >/dev/null || die "this script needs a Debian system (dpkg-query not found)"

declare -A installed=()
while read -r name status; do
    [[ $status == installed ]] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${PACKAGES[@]}" 2>/dev/null || true)
missing=()
for p in "${PACKAGES[@]}"; do
    [[ -n ${installed[$p]:-} ]] || missing+=("$p")
done

locale_present() {
    locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'
}

if ((${#missing[@]} == 0)) && locale_present; then
    echo "setup.sh: all packages present, nothing to do"
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
APT_OPTS=(-y -q -o DPkg::Lock::Timeout=300 -o Acquire::http::Timeout=30 -o Acquire::Retries=3
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)

if ((${#missing[@]} > 0)); then
    echo "setup.sh: installing: ${missing[*]}"
    # Keep package scripts from starting services (cupsd etc.); the test environment starts
    # its own instances.
    policy=/usr/sbin/policy-rc.d
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    if ! timeout 600 apt-get "${APT_OPTS[@]}" update </dev/null; then
        die "cannot reach the Debian package registry (apt-get update failed)"
    fi
    if ! timeout 3600 apt-get "${APT_OPTS[@]}" install --no-install-recommends "${missing[@]}" \
        </dev/null; then
        die "apt-get install failed: the Debian package registry cannot be reached or a package" \
            "is unavailable (${missing[*]})"
    fi
fi

if ! locale_present; then
    echo "setup.sh: generating locale $LOCALE"
    if [[ -f /etc/locale.gen ]] && grep -q "^# *$LOCALE UTF-8" /etc/locale.gen; then
        sed -i "s/^# *\($LOCALE UTF-8\)/\1/" /etc/locale.gen
    fi
    localedef -i ja_JP -c -f UTF-8 -A /usr/share/locale/locale.alias "$LOCALE" ||
        die "could not generate locale $LOCALE"
fi

echo "setup.sh: done"
