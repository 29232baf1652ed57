#!/usr/bin/env bash
# Fails when two paths of the source tree differ only in letter case: a checkout on Windows
# keeps one of them.
#   case_distinct_paths.sh SOURCE_DIR
set -euo pipefail
root=$1
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    paths=$(git -C "$root" ls-files)
else
    paths=$(cd "$root" && find . -path './build*' -prune -o -print | sed 's|^\./||')
fi
clashes=$(printf '%s\n' "$paths" | tr 'A-Z' 'a-z' | sort | uniq -d)
if [ -n "$clashes" ]; then
    echo "paths that differ only in letter case (lower-cased here):" >&2
    printf '%s\n' "$clashes" >&2
    exit 1
fi
