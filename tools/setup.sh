#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need. Idempotent: when
# everything is there it only checks and returns.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386
          xvfb xauth googletest nginx tzdata imagemagick x11-utils fonts-ipafont-gothic locales
          squid clang-format curl time)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The host locale behind Wine's code page 932: without it Wine can neither create nor find
# file names with Japanese characters.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    echo "setup: generating the locale ja_JP.UTF-8"
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
