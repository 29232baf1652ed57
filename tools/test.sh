#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test under
# Wine. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/testbed.sh"
build=$(testbed_dir)
testbed_build "$build"
tree=$(testbed_run_dir "$build")
testbed_start "$tree" nginx squid drive
ctest --test-dir "$tree" --output-on-failure -j"$(nproc)" "$@"
