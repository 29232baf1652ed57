# Sourced: builds a build tree, and brings up the Wine test bed for it and tears it down on exit.
#   build=$(testbed_dir)
#   testbed_build BUILD_DIR [TARGET...]
#   tree=$(testbed_run_dir BUILD_DIR)
#   testbed_start "$tree" [SERVICE...]
#   testbed_bench BUILD_DIR TARGET...
# The build tree holds the 32-bit programs we ship. A kernel that runs no 32-bit Linux programs
# (ia32 emulation switched off) cannot run 32-bit Wine: there the same sources are built for
# 64-bit Windows as well, in BUILD_DIR/win64, and those programs run under 64-bit Wine.
# testbed_run_dir names the tree whose programs run.
# testbed_start sets WINEPREFIX (inside the build tree, created once), DISPLAY (a private Xvfb on
# a free display), a persistent wineserver, WINEDEBUG=-all and a fixed non-UTC TZ, and starts the
# services named: nginx on loopback (testbed_nginx below), squid as a proxy (testbed_squid) and a
# small drive (testbed_drive). What the bed keeps outside the build tree (logs, squid's folder,
# the small drive) lives in a private folder under /tmp. Every process it starts and every Wine
# process of its prefix is stopped by process id, the drive unmounted and that folder removed when
# the shell exits, also on failure or interrupt. The wineserver's output goes to its log there;
# when the server ends before the bed stops, the bed says so at once with the end of that log and
# ends the prefix's processes, which would wait for it for ever.

testbed_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
testbed_pids=()
testbed_private=    # the bed's folder outside the build tree
testbed_drive_link= # the small drive's letter in the prefix
testbed_wineserver= # the pid of the shell that runs and watches the bed's wineserver

# The build tree: BUILD_DIR (relative to the current folder), else build/ of the source tree.
# Absolute, since the test bed and the demo change directories.
testbed_dir() {
    realpath -m "${BUILD_DIR:-$testbed_root/build}"
}

# Whether 32-bit Wine runs here: its loader is a 32-bit Linux program.
testbed_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The tree whose programs run under this machine's Wine: the build tree, or its 64-bit twin (a
# 64-bit tree is its own).
testbed_run_dir() {
    if testbed_runs_32bit || grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$1/CMakeCache.txt" 2>/dev/null
    then
        echo "$1"
    else
        echo "$1/win64"
    fi
}

# Installs what is missing, configures the build tree and builds the targets (all when none are
# named); where 32-bit Wine cannot run, the 64-bit twin as well.
testbed_build() {
    local build=$1
    shift
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    bash "$testbed_root/tools/setup.sh"
    testbed_configure "$build" i686
    if testbed_runs_32bit; then
        cmake --build "$build" -j"$(nproc)" "${targets[@]}"
        return
    fi
    echo "testbed: this kernel runs no 32-bit programs (ia32 emulation is off): the tests run" \
         "a 64-bit build of the same sources under 64-bit Wine" >&2
    # Only what ships is built 32-bit then; nothing else of that tree could run.
    cmake --build "$build" -j"$(nproc)" --target quen6aux exec quen6aux_lang quen6aux_ja
    testbed_configure "$build/win64" x86_64 -DQUEN6_SHIPPED_TREE="$build"
    cmake --build "$build/win64" -j"$(nproc)" "${targets[@]}"
}

#   testbed_configure TREE i686|x86_64 [CMAKE_ARGUMENT...]
testbed_configure() {
    cmake -S "$testbed_root" -B "$1" \
          -DCMAKE_TOOLCHAIN_FILE="$testbed_root/cmake/$2-w64-mingw32.cmake" \
          -DCMAKE_BUILD_TYPE=Release "${@:3}" >/dev/null
}

# A benchmark's opening: builds its targets (without the build's chatter) and brings up the
# test bed with nginx.
testbed_bench() {
    testbed_build "$@" >/dev/null
    testbed_start "$(testbed_run_dir "$1")" nginx
}

testbed_stop() {
    testbed_stop_wine
    local p
    for p in "${testbed_pids[@]}"; do
        kill "$p" 2>/dev/null || true
    done
    for p in "${testbed_pids[@]}"; do
        wait "$p" 2>/dev/null || true
    done
    testbed_pids=()
    if [ -n "$testbed_drive_link" ]; then
        rm -f "$testbed_drive_link"
        testbed_drive_link=
    fi
    if [ -n "$testbed_private" ]; then
        if mountpoint -q "$testbed_private/drive"; then
            # A Wine process that has not quite ended yet may still hold the drive.
            umount "$testbed_private/drive" 2>/dev/null ||
                umount -l "$testbed_private/drive" 2>/dev/null || true
        fi
        rm -rf --one-file-system "$testbed_private" || true
        testbed_private=
    fi
}

# Ends the bed's wineserver and every process of its prefix.
testbed_stop_wine() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    [ -z "$testbed_private" ] || touch "$testbed_private/stopping"
    # A hung server does not answer.
    timeout 10 wineserver -k >/dev/null 2>&1 || true
    # The shell that watches the server ends with it; one that does not end is not waited for.
    if testbed_end_prefix && [ -n "$testbed_wineserver" ]; then
        wait "$testbed_wineserver" 2>/dev/null || true
    fi
    testbed_wineserver=
}

# Ends the processes of the prefix that are left: the wineserver ends those it knows, but not one
# it never knew or that outlived it, which without a server waits for ever and only ends by
# SIGKILL. Says so and returns 1 when some do not end.
testbed_end_prefix() {
    local left i
    for i in $(seq 50); do
        left=$(testbed_prefix_pids)
        [ -n "$left" ] || return 0
        # shellcheck disable=SC2086 # one pid a word
        kill -KILL $left 2>/dev/null || true
        sleep 0.1
    done
    left=$(testbed_prefix_pids)
    [ -n "$left" ] || return 0
    echo "testbed: processes of the Wine prefix do not end:" $left >&2
    return 1
}

# The ids of the processes of the bed's prefix, one a line. A Wine process knows its prefix only
# from WINEPREFIX, which Wine hands on to every program a Windows program starts: Wine's services
# and a program the tests left behind carry it in the environment they were started with
# (/proc/PID/environ), also one that never reached the wineserver or outlived it, which the server
# itself cannot name. Only Wine's loader and server count: the bed's shells and other services
# carry the variable as well. The wineserver's socket folder would not do: a client holds no file
# of it open once connected.
testbed_prefix_pids() {
    local p t exe
    for p in /proc/[0-9]*; do
        # A Wine thread that lost its server ends alone: a process whose first thread has ended
        # shows its program and environment through a thread still running.
        exe=
        for t in "$p" "$p"/task/*; do
            exe=$(readlink "$t/exe" 2>/dev/null) && break
        done
        case ${exe##*/} in
        wine*) ;;
        *) continue ;;
        esac
        # Its entries end in NUL.
        if grep -qxzF "WINEPREFIX=$WINEPREFIX" "$t/environ" 2>/dev/null; then
            echo "${p#/proc/}"
        fi
    done
}

# Says in one line what part of the bed failed, and why: the last line of its LOGs (read in turn)
# that reports a failure, with the indented lines that go on with it, else their last line.
# Returns 1.
#   testbed_failed WHAT LOG...
testbed_failed() {
    local what=$1
    shift
    local why
    why=$( (cat -- "$@" 2>/dev/null || true) | awk '
        tolower($0) ~ /fatal|emerg|crit|alert|error|cannot|denied/ { why = $0; going = 1; next }
        going && /^[ \t]/ { why = why " " $0; next }
        { going = 0; last = $0 }
        END { print why != "" ? why : last }' | tr -s ' \t' '  ')
    echo "testbed: $what${why:+: $why}" >&2
    return 1
}

testbed_start() {
    local build=$1
    shift
    local service drive=
    for service in "$@"; do
        case $service in
        nginx | squid) ;;
        drive) drive=yes ;;
        *)
            echo "testbed: no service named $service" >&2
            return 1
            ;;
        esac
    done
    mkdir -p "$build"
    trap testbed_stop EXIT
    trap 'exit 130' INT TERM
    # Outside the build tree, which may lie in a folder only root may enter: squid works as the
    # user proxy, which must reach its own folder in here.
    testbed_private=$(mktemp -d /tmp/quen6-bed.XXXXXX)
    chmod 711 "$testbed_private"

    export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
    if ! testbed_runs_32bit; then
        # Debian's "wine" starts the 32-bit loader whenever it is installed: every "wine" and
        # Wine tool of the bed goes to the 64-bit loader instead.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        mkdir -p "$build/wine-bin"
        local name
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$build/wine-bin/$name"
            chmod +x "$build/wine-bin/$name"
        done
        export PATH="$build/wine-bin:$PATH"
    fi
    export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
    export TZ=Asia/Tokyo LANG=C LC_ALL=C

    local dfile=$testbed_private/display log=$testbed_private/Xvfb.log
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dfile" >"$log" 2>&1 &
    testbed_pids+=($!)
    local i
    for i in $(seq 100); do
        [ -s "$dfile" ] && break
        kill -0 "${testbed_pids[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$dfile" ] || testbed_failed "Xvfb did not start" "$log" || return 1
    export DISPLAY=":$(tr -d '\n' <"$dfile")"

    if [ ! -f "$WINEPREFIX/.ready" ]; then
        echo "testbed: creating the Wine prefix"
        log=$testbed_private/wineboot.log
        wineboot -i >"$log" 2>&1 || testbed_failed "the Wine prefix was not created" "$log" ||
            return 1
        # Without a window manager Wine waits two seconds after each closed message box
        # unless its windows are unmanaged.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # The server that wineboot started ends here; the bed's own comes next.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.ready"
    fi
    # Before Wine's services start: its drive manager takes in the drives it finds then.
    [ -z "$drive" ] || testbed_drive

    # Wine keeps a lock on the prefix: start the one server all test programs attach to.
    # Watched: when it ends before the bed stops, every Wine process waits for ever (a test
    # hangs until its time-out); the bed then says so at once and ends them.
    (
        status=0
        wineserver -f -p >"$testbed_private/wineserver.log" 2>&1 || status=$?
        [ -e "$testbed_private/stopping" ] && exit 0
        echo "testbed: the wineserver ended during the tests (exit status $status)," \
             "its processes are ended; its log:" >&2
        sed 's/^/    /' "$testbed_private/wineserver.log" | tail -n 20 >&2 || true
        testbed_end_prefix
    ) </dev/null &
    testbed_wineserver=$!
    # The first program of a fresh server starts Wine's background services, and the first in
    # another locale updates the prefix; both would inherit a test's output pipe and hold it
    # open. Let them start here, detached from every pipe.
    log=$testbed_private/wine.log
    local locale
    for locale in C ja_JP.UTF-8; do
        LC_ALL=$locale wine cmd /c exit </dev/null >"$log" 2>&1 ||
            testbed_failed "Wine did not start" "$log" || return 1
    done

    for service in "$@"; do
        [ "$service" = drive ] || "testbed_$service" "$build" || return 1
    done
}

# nginx on 127.0.0.1 at a free port, configured and served from BUILD/nginx:
#   /              the files under the docroot (tests put their own files there)
#   /private/      the same, behind Basic authorization (the user and password below)
#   /moved301/X    a 301 to /X, and /moved302/X a 302 to /X
#   anything else  404
# Exports QUEN6_NGINX_PORT, QUEN6_NGINX_ROOT (the docroot as a Windows path, Z:\...),
# QUEN6_NGINX_USER and QUEN6_NGINX_PASSWORD.
testbed_nginx() {
    local dir
    dir=$(cd "$1" && pwd)/nginx
    local root=$dir/root
    mkdir -p "$root/private"
    export QUEN6_NGINX_USER=quen6 QUEN6_NGINX_PASSWORD=secret
    echo "$QUEN6_NGINX_USER:{PLAIN}$QUEN6_NGINX_PASSWORD" >"$dir/htpasswd"
    local lines
    lines=$(cat <<EOF
        sendfile on;
        location /private/ {
            auth_basic "quen6";
            auth_basic_user_file $dir/htpasswd;
        }
        location ~ ^/moved301/(.*)\$ { return 301 /\$1; }
        location ~ ^/moved302/(.*)\$ { return 302 /\$1; }
EOF
    )
    testbed_nginx_serve "$dir" "$root" "$lines"
    export QUEN6_NGINX_PORT=$testbed_nginx_port
    export QUEN6_NGINX_ROOT="Z:${root//\//\\}"
}

# nginx on 127.0.0.1 at a free port, run from DIR (its configuration, log and temporary files)
# and serving the files under ROOT; LINES, when given, go into its server block. Sets
# testbed_nginx_port; the server is stopped with the bed.
#   testbed_nginx_serve DIR ROOT [LINES]
testbed_nginx_serve() {
    local dir=$1 root=$2 lines=${3:-}
    mkdir -p "$dir/temp"
    testbed_serve nginx "$dir/error.log" testbed_nginx_conf \
        nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" || return 1
    testbed_nginx_port=$testbed_port
}

# Writes nginx's configuration for PORT, from the dir, root and lines of testbed_nginx_serve.
testbed_nginx_conf() {
    cat >"$dir/nginx.conf" <<EOF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $dir/temp/body;
    proxy_temp_path $dir/temp/proxy;
    fastcgi_temp_path $dir/temp/fastcgi;
    uwsgi_temp_path $dir/temp/uwsgi;
    scgi_temp_path $dir/temp/scgi;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$1;
        root $root;
$lines
    }
}
EOF
}

# Starts a server on 127.0.0.1 at a free port: CONFIGURE PORT writes its configuration for a
# port drawn at random, COMMAND runs the server in the foreground; another port is tried when
# that one is taken. Sets testbed_port; the server is stopped with the bed. When it does not
# start, says why from its output and LOG.
#   testbed_serve NAME LOG CONFIGURE COMMAND...
testbed_serve() {
    local name=$1 log=$2 configure=$3
    shift 3
    local attempt port pid out=$testbed_private/$name.out
    for attempt in $(seq 20); do
        port=$((20000 + RANDOM % 30000))
        "$configure" "$port"
        "$@" </dev/null >"$out" 2>&1 &
        pid=$!
        if testbed_await_port "$pid" "$port"; then
            testbed_pids+=("$pid")
            testbed_port=$port
            return 0
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    testbed_failed "$name did not start" "$out" "$log"
}

# Waits until the server PID answers on 127.0.0.1:PORT; fails when it ends first or after 5 s.
#   testbed_await_port PID PORT
testbed_await_port() {
    local pid=$1 port=$2 i
    for i in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# squid, the forward proxy a company would run, on 127.0.0.1 at a free port, configured and run
# from a folder of its own in the bed's private folder (its configuration, pid file, logs and
# core dumps): it caches nothing and lets every client through. Exports QUEN6_SQUID_PORT; the
# proxy is stopped with the bed.
testbed_squid() {
    local dir=$testbed_private/squid
    mkdir "$dir"
    # Started as root, squid works as the user proxy, which must be able to write there.
    chown proxy:proxy "$dir"
    chmod 700 "$dir"
    testbed_serve squid "$dir/cache.log" testbed_squid_conf squid -N -f "$dir/squid.conf" ||
        return 1
    export QUEN6_SQUID_PORT=$testbed_port
}

# Writes squid's configuration for PORT into the dir of testbed_squid.
testbed_squid_conf() {
    cat >"$dir/squid.conf" <<EOF
http_port 127.0.0.1:$1
http_access allow all
cache deny all
cache_effective_user proxy
pid_filename $dir/squid.pid
cache_log $dir/cache.log
access_log stdio:$dir/access.log
coredump_dir $dir
pinger_enable off
shutdown_lifetime 0 seconds
EOF
}

# A small drive for tests of a full volume on another volume: a 1 MiB tmpfs mounted in the bed's
# private folder and mapped to a free drive letter of the prefix. Exports QUEN6_SMALL_DRIVE (the
# letter and a colon) and QUEN6_SMALL_DRIVE_BYTES (its size in bytes). Where it cannot be
# mounted (no right to mount), both stay unset and the tests that need it skip themselves.
testbed_drive() {
    local mount=$testbed_private/drive out
    mkdir "$mount"
    if ! out=$(mount -t tmpfs -o size=1m,mode=0755 quen6-drive "$mount" 2>&1); then
        echo "testbed: no small drive: ${out//$'\n'/ }" >&2
        return 0
    fi
    local letter link
    for letter in s t u v w x y r q p o n m l k j i h g f e d; do
        link=$WINEPREFIX/dosdevices/$letter:
        # A link left by a bed that was killed points nowhere: the letter is free again.
        [ -e "$link" ] && continue
        ln -sfn "$mount" "$link"
        testbed_drive_link=$link
        QUEN6_SMALL_DRIVE=${letter^^}:
        QUEN6_SMALL_DRIVE_BYTES=$(($(stat -f -c '%b * %S' "$mount")))
        export QUEN6_SMALL_DRIVE QUEN6_SMALL_DRIVE_BYTES
        return 0
    done
    echo "testbed: no small drive: no free drive letter" >&2
}
