#!/usr/bin/env bash
# The engine's download loop for 100 to 5,000 small files from the test bed's nginx: the cost
# per file of the transfer alone, of TDownload::DownloadAll and, on the smaller sizes, of the
# straightforward loop, whose result must be the same; each loop's own cost is its time less
# the time inside its transfers, clocked in the same run. Prints figures; not a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/testbed.sh"
build=$(testbed_dir)
testbed_bench "$build" download_bench
build=$(testbed_run_dir "$build")

files=$build/nginx/root/benchdl
mkdir -p "$files"
for i in $(seq 0 4999); do
    [ -f "$files/f$i" ] || printf '%-63s\n' "file $i" >"$files/f$i"
done

wine "$build/bench/download_bench.exe" "http://127.0.0.1:$QUEN6_NGINX_PORT/benchdl"
