#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test under
# Wine. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

source "$root/tools/testbed.sh"
testbed_start "$build"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
