#!/usr/bin/env bash
# Runs the README's command that prints entry lines on a small folder and compares its output
# byte for byte.
#   entry_lines.sh README
set -euo pipefail
readme=$1
command=$(awk '/^```sh$/ {inside = 1; next} /^```$/ {inside = 0} inside' "$readme")
[ -n "$command" ] || { echo "no sh block in $readme" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=Asia/Tokyo
mkdir -p "$work/files/doc"
printf 'abc' >"$work/files/viewer.exe"
printf '12345' >"$work/files/doc/manual.pdf"
printf 'notes' >"$work/files/Read Me.txt"
touch -d '2024-05-01 12:00:01' "$work/files/viewer.exe" # odd: rounded down
touch -d '2024-05-01 23:59:58' "$work/files/doc/manual.pdf"
touch -d '2024-04-30 08:15:30' "$work/files/Read Me.txt"

(cd "$work/files" && bash -c "$command") >"$work/actual"
# A blank stays as it is in the URL: the updater sends it escaped.
printf '%s\r\n' \
    'Read Me.txt?http://updates.example.com/viewer/2.1/Read Me.txt?2024/04/30?08:15:30?5' \
    'doc\manual.pdf?http://updates.example.com/viewer/2.1/doc/manual.pdf?2024/05/01?23:59:58?5' \
    'viewer.exe?http://updates.example.com/viewer/2.1/viewer.exe?2024/05/01?12:00:00?3' \
    >"$work/expected"
if ! cmp -s "$work/expected" "$work/actual"; then
    echo "the README's entry lines differ:" >&2
    diff <(od -c "$work/expected") <(od -c "$work/actual") >&2 || true
    exit 1
fi
