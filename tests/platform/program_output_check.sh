#!/bin/sh
# Inside tools/wine-session.sh: a Windows program that needs the desktop and has ended leaves no
# process behind that holds its output open. CTest waits for the end of a test's output, not only
# for its process: a desktop window manager (explorer.exe /desktop) started on the program's
# demand inherits its stderr and, while other programs keep the desktop busy, holds the test
# until its time-out. Runs alone (RUN_SERIAL): with no other program running, a desktop nobody
# keeps would close here, and the program below would start a new window manager.
set -u
scratch=$(mktemp -d /tmp/lm-output-check-XXXXXX) || exit 1
trap 'rm -rf "$scratch"' EXIT

sleep 2 # longer than Wine keeps a desktop without user processes

# Another program on the desktop for the whole check, as a parallel test would be: a cmd.exe
# waiting for input on a fifo whose writing end only this shell holds; it ends with the check.
mkfifo "$scratch/input"
wine cmd.exe /c pause <"$scratch/input" >/dev/null 2>&1 &
exec 3>"$scratch/input"

# The program: it asks for the desktop window, then ends at once. Its output is a pipe.
{ readlink /proc/self/fd/2 >"$scratch/pipe"; wine rundll32.exe user32.dll,GetDesktopWindow; : >"$scratch/ended"; } \
    2>&1 </dev/null 3>&- | { cat >/dev/null; : >"$scratch/closed"; } 2>/dev/null &

i=0
while [ ! -e "$scratch/ended" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
[ -e "$scratch/ended" ] || { echo "the program did not end within 60 s"; exit 1; }
i=0
while [ ! -e "$scratch/closed" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if [ ! -e "$scratch/closed" ]; then
    echo "the program ended 10 s ago, but Windows programs still hold its output open:"
    pipe=$(cat "$scratch/pipe")
    for dir in /proc/[0-9]*; do
        { tr '\0' '\n' <"$dir/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
        command=$({ tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null)
        case "$command" in *.exe*) ;; *) continue;; esac
        for fd in "$dir"/fd/*; do
            [ "$(readlink "$fd" 2>/dev/null)" = "$pipe" ] || continue
            printf '  %s %s\n' "${dir#/proc/}" "$command"
            break
        done
    done
    exit 1
fi
echo "the program's output closed when it ended"
