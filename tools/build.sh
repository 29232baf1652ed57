#!/usr/bin/env bash
# The main-job command: builds everything into build/, then performs a real update of a sample
# installation from a loopback server (tools/demo/demo.sh) and prints what was updated and
# where the shipping folder lies.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: the test bed and the demo change directories.
build=$(realpath -m "${BUILD_DIR:-$root/build}")

source "$root/tools/testbed.sh"
testbed_build "$build"
bash "$root/tools/demo/demo.sh" "$build"
