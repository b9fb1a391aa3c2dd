#!/bin/sh
# Inside tools/wine-session.sh: a Windows program that needs the desktop and has ended leaves no
# process behind that holds its output open. CTest waits for the end of a test's output, not only
# for its process: a desktop window manager (explorer.exe /desktop) started on the program's
# demand inherits its stderr and, while other programs keep the desktop busy, holds the test
# until its time-out. Runs alone (RUN_SERIAL): with no other program running, a desktop nobody
# keeps would close here, and the program below would start a new window manager.
# Checks the session's prefix, or every lane's prefix side by side (LM_LANES_DIR, LM_LANE_COUNT).
set -u
scratch=$(mktemp -d /tmp/lm-output-check-XXXXXX) || exit 1
trap 'rm -rf "$scratch"' EXIT

# check <prefix> <scratch folder>: 0 when the program's output closed as it ended.
check() {
    export WINEPREFIX="$1"
    dir=$2
    mkdir -p "$dir"
    # Another program on the desktop for the whole check, as a parallel test would be: a cmd.exe
    # waiting for input on a fifo whose writing end only this shell holds; it ends with the check.
    mkfifo "$dir/input"
    wine cmd.exe /c pause <"$dir/input" >/dev/null 2>&1 &
    exec 3>"$dir/input"

    # The program: it asks for the desktop window, then ends at once. Its output is a pipe.
    { readlink /proc/self/fd/2 >"$dir/pipe"; wine rundll32.exe user32.dll,GetDesktopWindow; : >"$dir/ended"; } \
        2>&1 </dev/null 3>&- | { cat >/dev/null; : >"$dir/closed"; } 2>/dev/null &

    i=0
    while [ ! -e "$dir/ended" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "$dir/ended" ] || { echo "$WINEPREFIX: the program did not end within 60 s"; return 1; }
    i=0
    while [ ! -e "$dir/closed" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    if [ ! -e "$dir/closed" ]; then
        echo "$WINEPREFIX: the program ended 10 s ago, but Windows programs still hold its output open:"
        pipe=$(cat "$dir/pipe")
        for proc in /proc/[0-9]*; do
            { tr '\0' '\n' <"$proc/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
            command=$({ tr '\0' ' ' <"$proc/cmdline"; } 2>/dev/null)
            case "$command" in *.exe*) ;; *) continue;; esac
            for fd in "$proc"/fd/*; do
                [ "$(readlink "$fd" 2>/dev/null)" = "$pipe" ] || continue
                printf '  %s %s\n' "${proc#/proc/}" "$command"
                break
            done
        done
        return 1
    fi
    echo "$WINEPREFIX: the program's output closed when it ended"
}

sleep 2 # longer than Wine keeps a desktop without user processes

if [ -n "${LM_LANES_DIR:-}" ]; then
    prefixes=""
    k=0
    while [ $k -lt "$LM_LANE_COUNT" ]; do prefixes="$prefixes $LM_LANES_DIR/$k"; k=$((k + 1)); done
else
    prefixes=$WINEPREFIX
fi
pids=""
k=0
for prefix in $prefixes; do
    (check "$prefix" "$scratch/$k") >"$scratch/$k.out" 2>&1 &
    pids="$pids $!"
    k=$((k + 1))
done
rc=0
k=0
for pid in $pids; do
    wait "$pid" || rc=1
    cat "$scratch/$k.out"
    k=$((k + 1))
done
exit $rc
