#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need. Idempotent: when
# everything is there it only checks and returns.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386
          xvfb xauth googletest nginx tzdata imagemagick x11-utils fonts-ipafont-gothic locales
          squid clang-format curl time)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Installs those of the packages that are missing.
install_missing() {
    local missing=() p
    for p in "$@"; do
        installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -ne 0 ] || return 0
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        apt-get update -qq
    fi
    export DEBIAN_FRONTEND=noninteractive
    [ -n "${setup_updated:-}" ] || apt-get update -qq
    setup_updated=1
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
# A kernel without 32-bit emulation cannot start 32-bit Wine's loader: the tests then run a
# 64-bit build under 64-bit Wine.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    install_missing wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
fi

# The host locale behind Wine's code page 932: without it Wine can neither create nor find
# file names with Japanese characters.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    echo "setup: generating the locale ja_JP.UTF-8"
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
