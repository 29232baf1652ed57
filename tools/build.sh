#!/usr/bin/env bash
# The main-job command: builds everything into build/, then performs a real update of a sample
# installation from a loopback server (tools/demo/demo.sh) and prints what was updated and
# where the shipping folder lies.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/testbed.sh"
build=$(testbed_dir)
testbed_build "$build"
bash "$root/tools/demo/demo.sh" "$build"
