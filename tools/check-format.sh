#!/usr/bin/env bash
# Checks that every C++ source of the tree is laid out as .clang-format says; prints the places
# that are not and exits non-zero. Installs clang-format when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
cd "$root"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "format: every source as .clang-format lays it out"
