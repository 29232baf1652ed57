#!/usr/bin/env bash
# The main-job command's demo with the question answered No: the command ends with failure and
# says so in its last line, and the sample installation stays as it was.
#   answered_no.sh BUILD_DIR FOLDER
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$2"
out=$2/output.txt
DEMO_ANSWER=no bash "$root/tools/demo/demo.sh" "$1" "$2" >"$out" 2>&1
status=$?
cat "$out"
readme="$2/demo/app/Program Files/Sample Application/readme.txt"
expected="demo: not updated: the question was answered No"
if [ "$status" -eq 0 ]; then
    echo "FAIL: the demo ended with success"
elif [ "$(tail -n 1 "$out")" != "$expected" ]; then
    echo "FAIL: the last line is not \"$expected\""
elif ! grep -q -- ' -> No' "$out"; then
    echo "FAIL: no box was answered No"
elif [ "$(tr -d '\r' <"$readme")" != "Sample application 1.0" ]; then
    echo "FAIL: the sample installation changed"
else
    exit 0
fi
exit 1
