#!/usr/bin/env bash
# The main-job command: builds everything into build/, then performs a real update of a sample
# installation from a loopback server (tools/demo/demo.sh) and prints what was updated and
# where the shipping folder lies.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
bash "$root/tools/demo/demo.sh" "$build"
