#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need. Idempotent: when
# everything is there it only checks and returns.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386
          xvfb xauth googletest nginx tzdata imagemagick x11-utils)
# The forward proxy of the test bed.
packages+=(squid)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
