#!/usr/bin/env bash
# Download throughput from the test bed's nginx on loopback, side by side in one run: a bare
# blocking Winsock loop (the floor under this Wine), WinINet, the updater's HTTP module
# (THttp::GetToFile) and native curl, each with its peak memory, for 20 MiB, 200 MiB and 1 GiB,
# three rounds each; then the ratio of THttp to the bare loop (medians of the rounds).
#   bench-http.sh            the HTTP module and its peers
#   bench-http.sh --updater  the real updater with its window, from the answered question to
#                            the closing box, net of a 1-byte run, beside the bare loop
# Prints figures; not a test. The files live in the build tree and are removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
case "$mode" in
"" | --updater) ;;
*)
    echo "usage: bench-http.sh [--updater]" >&2
    exit 2
    ;;
esac

source "$root/tools/testbed.sh"
build=$(testbed_dir)
testbed_bench "$build" http_bench updater_bench quen6aux quen6aux_lang
build=$(testbed_run_dir "$build")

files=$build/nginx/root/bench
out=$build/bench-http
cleanup() {
    rm -rf "$out"
    rm -f "$files"/*.bin "$files/list.txt"
    testbed_stop
}
trap cleanup EXIT
mkdir -p "$files" "$out"
winout="Z:${out//\//\\}"
exe=$build/bench/http_bench.exe
rounds=${ROUNDS:-3}

serve() { # MiB: the file on the server, made once per run
    [ -f "$files/$1.bin" ] || head -c $(($1 << 20)) /dev/urandom >"$files/$1.bin"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs one way of http_bench and prints its line; the MiB/s go to FILE.
wine_way() { # WAY URL MIB FILE
    local line
    line=$(wine "$exe" "$1" "$2" "$winout\\$1.bin")
    echo "$line"
    awk '{ print $6 }' <<<"$line" >>"$4"
    cmp -s "$files/$3.bin" "$out/$1.bin" || echo "   ($1: the file differs)"
    rm -f "$out/$1.bin"
}

modules() {
    local mib url round way line
    for mib in 20 200 1024; do
        serve "$mib"
        url="http://127.0.0.1:$QUEN6_NGINX_PORT/bench/$mib.bin"
        echo "-- $mib MiB from nginx on 127.0.0.1"
        rm -f "$out"/*.speed
        for round in $(seq $rounds); do
            for way in bare wininet thttp; do
                wine_way "$way" "$url" "$mib" "$out/$way.speed"
            done
            line=$(/usr/bin/time -f '%M' -o "$out/curl.mem" curl -s -o "$out/curl.bin" \
                -w '%{size_download} %{time_total}' "$url")
            awk -v mem="$(cat "$out/curl.mem")" '{
                printf "%-8s %11d bytes %8.3f s %8.1f MiB/s  peak %7d KiB (native)\n",
                       "curl", $1, $2, $1 / $2 / 1048576, mem }' <<<"$line"
            cmp -s "$files/$mib.bin" "$out/curl.bin" || echo "   (curl: the file differs)"
            rm -f "$out/curl.bin"
        done
        awk -v t="$(median <"$out/thttp.speed")" -v b="$(median <"$out/bare.speed")" \
            'BEGIN { printf "THttp / bare loop: %.2f (medians %.1f / %.1f MiB/s)\n", t / b, t, b }'
        [ "$mib" -lt 1024 ] || rm -f "$files/$mib.bin"
    done
}

# Installs the updater afresh with a list of one entry, the file MiB.bin (0: 1 byte), runs it
# and prints the line of updater_bench.
updater_run() { # MiB
    local name=$1.bin bytes=$(($1 << 20)) app=$out/app
    if [ "$1" -eq 0 ]; then
        bytes=1
        head -c 1 /dev/urandom >"$files/$name"
    fi
    rm -rf "$app"
    mkdir -p "$app/quen6"
    cp "$build/updater/quen6aux.exe" "$build/languages/quen6aux_lang.dll" "$app/quen6/"
    printf '[update]\r\nappname=Bench\r\nlist=%s/list.txt\r\nexec=none.exe\r\ntimeout=20\r\n' \
        "http://127.0.0.1:$QUEN6_NGINX_PORT/bench" >"$app/quen6/quen6.ini"
    printf '[update]\r\n%s?%s?2024/06/01?10:00:00?%s\r\n' "$name" \
        "http://127.0.0.1:$QUEN6_NGINX_PORT/bench/$name" "$bytes" >"$files/list.txt"
    wine "$build/bench/updater_bench.exe" "$winout\\app\\quen6\\quen6aux.exe" "$bytes"
    cmp -s "$files/$name" "$app/$name" || echo "   (updater: the file differs)"
    rm -rf "$app"
}

updater() {
    local mib=200 round small big line
    serve "$mib"
    echo "-- the updater with its window, $mib MiB from nginx on 127.0.0.1"
    rm -f "$out"/*.speed
    for round in $(seq $rounds); do
        wine_way bare "http://127.0.0.1:$QUEN6_NGINX_PORT/bench/$mib.bin" "$mib" "$out/bare.speed"
        small=$(updater_run 0)
        echo "updater  $small"
        big=$(updater_run "$mib")
        echo "updater  $big"
        line=$(awk -v s="$small" -v b="$big" -v mib="$mib" 'BEGIN {
            split(s, a, " "); split(b, c, " ")
            printf "updater  net of the 1-byte run %8.3f s %8.1f MiB/s\n", c[3] - a[3],
                   mib / (c[3] - a[3]) }')
        echo "$line"
        awk '{ print $(NF - 1) }' <<<"$line" >>"$out/updater.speed"
    done
    awk -v u="$(median <"$out/updater.speed")" -v b="$(median <"$out/bare.speed")" \
        'BEGIN { printf "updater / bare loop: %.2f (medians %.1f / %.1f MiB/s)\n", u / b, u, b }'
}

if [ "$mode" = --updater ]; then
    updater
else
    modules
fi
