#!/usr/bin/env bash
# The demo of the main-job command: a real update of a sample installation from nginx on
# loopback, through the launcher, the updater and the sample application.
#   demo.sh BUILD_DIR [FOLDER]
# The programs come from the build tree BUILD_DIR; the sample installation, the shipping folder
# and the demo's test bed (its Wine prefix) go to FOLDER (by default the build tree).
# With a usable display the updater's window opens there and the user answers its question.
# Without one the run goes on the test bed's Xvfb: the question is answered Yes, and a
# screenshot of the progress window is saved. DEMO_ANSWER=yes or no answers so on the test bed's
# Xvfb, whatever the display. Ends with success only when the files were updated and the
# application was started: then prints what was updated and where the shipping folder lies;
# else says in one line what happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
folder=$(mkdir -p "${2:-$build}" && cd "${2:-$build}" && pwd)
demo=$folder/demo
ship=$folder/ship

answer=${DEMO_ANSWER:-}
case $answer in
"" | yes | no) ;;
*)
    echo "demo: DEMO_ANSWER is yes or no, not $answer" >&2
    exit 2
    ;;
esac
user_display=
if [ -z "$answer" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    user_display=$DISPLAY
fi

source "$root/tools/testbed.sh"
# The programs that run here: the shipped ones, or their 64-bit twins where 32-bit Wine cannot
# run.
tree=$(testbed_run_dir "$build")
testbed_start "$folder"
trap 'echo "demo: interrupted" >&2; exit 130' INT TERM
if [ -n "$user_display" ]; then
    export DISPLAY=$user_display
fi

# What a vendor installs with the application, from the programs of a build tree.
#   ship_from TREE FOLDER
ship_from() {
    mkdir -p "$2/quen6"
    cp "$1/launcher/exec.exe" "$2/"
    cp "$1/updater/quen6aux.exe" "$1/languages/quen6aux_lang.dll" \
       "$1/languages/quen6aux_ja.dll" "$root/tools/demo/quen6.ini" "$2/quen6/"
}
rm -rf "$ship"
ship_from "$build" "$ship"

# The sample installation (version 1) and the server's version 2. fakeapp.exe stands in for
# the application: it records how it was started. Its folder has an ordinary, long path, so
# that the progress window must shorten the names it shows.
app="$demo/app/Program Files/Sample Application"
server=$demo/server
rm -rf "$demo/app" "$server" "$demo/progress.png"
mkdir -p "$app/data" "$server/sample"
ship_from "$tree" "$app"
cp "$tree/tests/support/fakeapp.exe" "$app/sample.exe"
printf 'Sample application 1.0\r\n' >"$app/readme.txt"
head -c 1048576 /dev/urandom >"$app/data/sample.dat"
touch -d '2024-01-15 09:00:00' "$app/readme.txt" "$app/data/sample.dat"
printf 'Sample application 2.0\r\nA larger data file comes with it.\r\n' >"$server/sample/readme.txt"
head -c 4194304 /dev/urandom >"$server/sample/sample.dat"

# nginx for the demo alone: it paces its replies, so the progress window stays up a while.
testbed_nginx_serve "$demo/nginx" "$server" "        limit_rate 1m;"

base=http://127.0.0.1:$testbed_nginx_port/sample
entry() { # path, served name: an entry line with the file's size
    printf '%s?%s/%s?2024/06/01?10:00:00?%s\r\n' "$1" "$base" "$2" \
        "$(stat -c %s "$server/sample/$2")"
}
{
    printf '[message]\r\nSample application 2.0 is ready.\r\nDownload it now?\r\n[update]\r\n'
    entry 'readme.txt' readme.txt
    entry 'data\sample.dat' sample.dat
} >"$server/sample/list.txt"
sed -e "s|^list=.*|list=$base/list.txt|" -e 's|^list2=.*|list2=|' -e 's|^offline=.*|offline=0|' \
    "$root/tools/demo/quen6.ini" >"$app/quen6/quen6.ini"

stamp() { stat -c '%s bytes, %y' "$1" | sed 's/\.[0-9]* / /'; }
before_readme=$(stamp "$app/readme.txt")
before_data=$(stamp "$app/data/sample.dat")

# answer.exe reports in this folder how the run went.
run=$demo/run
rm -rf "$run" "$app/fakeapp.log"
mkdir -p "$run"
cd "$app"
launch=("$(winepath -w "$run")" "$(winepath -w "$app/exec.exe")" /demo "sample arguments")
mode=${answer:-yes}
if [ -n "$user_display" ]; then
    mode=user
    echo "demo: the updater's window opens on $user_display: answer its question"
fi
# In the background, so that an interrupt reaches the clean-up at once.
wine "$tree/tools/demo/answer.exe" "$mode" "${launch[@]}" &
helper=$!
if [ "$mode" != user ]; then
    for i in $(seq 1200); do
        [ -e "$run/progress-shown" ] || ! kill -0 "$helper" 2>/dev/null && break
        sleep 0.1
    done
    if [ -e "$run/progress-shown" ]; then
        import -window root -display "$DISPLAY" "$demo/progress.png"
    fi
fi
status=0
wait "$helper" || status=$?
cd "$root"
# The updater ends right after the shell has started the application, which may not have
# written its record yet: wait for it before the test bed stops Wine.
if [ "$status" -eq 0 ]; then
    for i in $(seq 300); do
        [ -s "$app/fakeapp.log" ] && break
        sleep 0.1
    done
fi

# What happened, in one line, unless the files were updated and the application started.
updated() {
    cmp -s "$server/sample/readme.txt" "$app/readme.txt" &&
        cmp -s "$server/sample/sample.dat" "$app/data/sample.dat"
}
last_box=$(cat "$run/last-box.txt" 2>/dev/null || true)
detail="exit code $status${last_box:+, last box: \"$last_box\"}"
failed() {
    echo "demo: $1" >&2
    exit 1
}
if [ -e "$run/declined" ]; then
    failed "not updated: the question was answered No"
elif ! updated; then
    failed "not updated: the update failed ($detail)"
elif [ ! -s "$app/fakeapp.log" ]; then
    failed "updated, but the application was not started ($detail)"
elif [ "$status" -ne 0 ]; then
    failed "updated, but the updater ended with exit code $status"
fi

echo
echo "demo: update list $base/list.txt"
printf '  %-16s %s\n  %-16s -> %s\n' readme.txt "$before_readme" "" "$(stamp "$app/readme.txt")"
printf '  %-16s %s\n  %-16s -> %s\n' 'data\sample.dat' "$before_data" "" \
    "$(stamp "$app/data/sample.dat")"
tr -d '\r' <"$app/fakeapp.log" | {
    read -r line && echo "demo: the application was started as: $line"
    read -r line && echo "      in the working directory $line"
}
if [ "$mode" != user ]; then
    if [ -e "$demo/progress.png" ]; then
        echo "demo: screenshot of the progress window: $demo/progress.png"
    else
        failed "the progress window did not show; no screenshot"
    fi
fi
echo "demo: sample installation: $app"
echo "demo: shipping folder: $ship"
(cd "$ship" && find . -type f | sed 's|^\./|  |' | sort)
