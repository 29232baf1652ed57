#!/usr/bin/env bash
# Download throughput from the test bed's nginx on loopback, side by side: the updater's HTTP
# module (THttp::GetToFile) and WinINet under the same Wine, and native curl; with the peak
# memory of each Wine download, for a 20 MiB and a 200 MiB file. Prints figures; not a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

source "$root/tools/testbed.sh"
testbed_build "$build" http_bench >/dev/null
testbed_start "$build"

files=$build/nginx/root/bench
out=$build/bench-http
mkdir -p "$files" "$out"
winout="Z:${out//\//\\}"
exe=$build/bench/http_bench.exe

for mib in 20 200; do
    [ -f "$files/$mib.bin" ] || head -c $((mib << 20)) /dev/urandom >"$files/$mib.bin"
    url="http://127.0.0.1:$QUEN6_NGINX_PORT/bench/$mib.bin"
    echo "-- $mib MiB from nginx on 127.0.0.1"
    for way in thttp wininet; do
        wine "$exe" "$way" "$url" "$winout\\$way.bin"
        cmp -s "$files/$mib.bin" "$out/$way.bin" || echo "   ($way: the file differs)"
    done
    curl -s -o "$out/curl.bin" -w '%{size_download} %{time_total}\n' "$url" |
        awk '{ printf "%-8s %11d bytes %8.3f s %8.1f MiB/s  (native)\n", "curl", $1, $2, $1 / $2 / 1048576 }'
    cmp -s "$files/$mib.bin" "$out/curl.bin" || echo "   (curl: the file differs)"
done
rm -f "$out"/*.bin
