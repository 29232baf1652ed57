# Sourced: brings up the Wine test bed for one build tree and tears it down on exit.
#   testbed_start BUILD_DIR
# Sets WINEPREFIX (inside the build tree, created once), DISPLAY (a private Xvfb on a free
# display), a persistent wineserver, WINEDEBUG=-all and a fixed non-UTC TZ. Every process it
# starts is stopped by process id when the shell exits, also on failure or interrupt.

testbed_pids=()

testbed_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
    local p
    for p in "${testbed_pids[@]}"; do
        kill "$p" 2>/dev/null || true
    done
    for p in "${testbed_pids[@]}"; do
        wait "$p" 2>/dev/null || true
    done
    testbed_pids=()
}

testbed_start() {
    local build=$1
    mkdir -p "$build"
    trap testbed_stop EXIT
    trap 'exit 130' INT TERM

    export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
    export TZ=Asia/Tokyo LANG=C LC_ALL=C

    local dfile="$build/.display"
    rm -f "$dfile"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
    testbed_pids+=($!)
    local i
    for i in $(seq 100); do
        [ -s "$dfile" ] && break
        sleep 0.1
    done
    [ -s "$dfile" ] || { echo "testbed: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(tr -d '\n' <"$dfile")"

    # Wine keeps a lock on the prefix: start the one server all test programs attach to.
    mkdir -p "$WINEPREFIX"
    wineserver -f -p >/dev/null 2>&1 &
    testbed_pids+=($!)
    if [ ! -f "$WINEPREFIX/.ready" ]; then
        echo "testbed: creating the Wine prefix"
        wineboot -i >/dev/null 2>&1
        touch "$WINEPREFIX/.ready"
    fi
    # The first program of a fresh server starts Wine's background services, and the first in
    # another locale updates the prefix; both would inherit a test's output pipe and hold it
    # open. Let them start here, detached from every pipe.
    local locale
    for locale in C ja_JP.UTF-8; do
        LC_ALL=$locale wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    done
}
