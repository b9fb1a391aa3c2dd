#!/bin/sh
# Runs a command inside one Wine session: an Xvfb display of its own, the project's 64-bit
# prefix (created on first use), and a persistent, warmed wineserver that is stopped at the end.
#   tools/wine-session.sh [--lanes <n>] <command> [args...]
# With --lanes, the session has n lanes: n copies of the prepared prefix (build/wine-lanes/<k>),
# each with a wineserver and a desktop of its own, all on the one display. Machine-wide state
# (HKLM, Program Files, named kernel objects) belongs to one prefix, so tests that write the same
# machine-wide names run side by side when each has a lane of its own: CTest hands the lanes out
# as the resource "lanes" of build/wine-lanes/resources.json, and tools/wine-run runs each test
# in its lane's prefix (the other tests in any lane, in turn).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
mkdir -p "$LM_BUILD_DIR"

lanes=0
if [ "${1:-}" = "--lanes" ]; then
    lanes=${2:-}
    shift 2
    case "$lanes" in ''|*[!0-9]*|0) echo "wine-session: --lanes takes a count of 1 or more" >&2; exit 2;; esac
fi
# A session inside a lane run (tools/offline-session.sh) is a session of one prefix of its own.
unset LM_LANES_DIR LM_LANE_COUNT LM_LANE LM_IN_EVERY_LANE

base=$WINEPREFIX
lanes_dir="$LM_BUILD_DIR/wine-lanes"
if [ "$lanes" -gt 0 ]; then
    prefixes=""
    k=0
    while [ $k -lt "$lanes" ]; do prefixes="$prefixes $lanes_dir/$k"; k=$((k + 1)); done
else
    prefixes=$base
fi

xvfb_pid=""
cleanup() {
    pids=""
    for prefix in $prefixes; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 & pids="$pids $!"; done
    for pid in $pids; do wait "$pid"; done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -f "$LM_BUILD_DIR/.display.$$" "$LM_BUILD_DIR/.desktop-user.$$"
}
trap cleanup EXIT INT TERM

# One display for the whole run; Xvfb picks a free number and writes it to the file.
if [ -z "${LM_KEEP_DISPLAY:-}" ]; then
    dfile="$LM_BUILD_DIR/.display.$$"
    : > "$dfile"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -s "$dfile" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s "$dfile" ] || { echo "wine-session: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$dfile")"
fi

# The prefix: a 64-bit Windows in which the 32-bit programs run under WoW64.
if [ ! -f "$base/system.reg" ]; then
    echo "wine-session: creating the Wine prefix $base"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi

# A lane is a fresh copy of the prepared prefix for every session, so that each run starts from
# the same machine. Windows' own programs and libraries are hard links (nothing writes them in
# place); every other file (the registry, ini files, Program Files, the users' folders) is a
# copy. The lane's folder itself stays, so its wineserver keeps the same socket folder.
make_lane() {
    mkdir -p "$1"
    find "$1" -mindepth 1 -maxdepth 1 -exec rm -rf {} + || return 1
    cp -al "$base/." "$1/" || return 1
    (cd "$base" && find . -type f ! \( -path './drive_c/windows/*' \
            -regex '.*\.\(dll\|exe\|drv\|sys\|ocx\|tlb\|cpl\|acm\|ax\|ds\|tsp\|nls\|ttf\|fon\|mui\)' \) -print0 |
        xargs -0 -r cp -p --remove-destination --parents -t "$1")
}
if [ "$lanes" -gt 0 ]; then
    pids=""
    for prefix in $prefixes; do make_lane "$prefix" & pids="$pids $!"; done
    for pid in $pids; do wait "$pid" || { echo "wine-session: could not copy $base into $lanes_dir" >&2; exit 1; }; done
    {
        printf '{"version": {"major": 1, "minor": 0}, "local": [{"lanes": ['
        k=0
        while [ $k -lt "$lanes" ]; do
            [ $k -gt 0 ] && printf ', '
            printf '{"id": "%s", "slots": 1}' $k
            k=$((k + 1))
        done
        printf ']}]}\n'
    } > "$lanes_dir/resources.json"
    rm -f "$lanes_dir/runs.log" "$lanes_dir/turn"
    export LM_LANES_DIR="$lanes_dir" LM_LANE_COUNT="$lanes"
    # What is no test of CTest's but uses the session's prefix (a script) uses the first lane.
    export WINEPREFIX="$lanes_dir/0"
fi

# A persistent wineserver per prefix, output to /dev/null: the first Wine process of a run
# otherwise keeps piped output (and CTest) waiting.
for prefix in $prefixes; do WINEPREFIX=$prefix wineserver -p >/dev/null 2>&1 </dev/null; done

# One desktop user per prefix for the whole run. Wine closes the desktop a second after its last
# user process ended, and its window manager (explorer.exe /desktop) quits; the next program that
# needs the desktop starts a new explorer, which inherits that program's stderr. When the
# program is a test, explorer keeps CTest's pipe open after the test process ended, as long as
# other tests keep the desktop busy, and CTest waits on it until its time-out. With this user
# the desktop never closes: explorer is started once, below, with its output to /dev/null.
# It is a cmd.exe waiting for input on a fifo whose writing end only this shell holds: it ends
# with the shell (wineserver -k ends it too).
keeper="$LM_BUILD_DIR/.desktop-user.$$"
rm -f "$keeper"
mkfifo "$keeper"
for prefix in $prefixes; do WINEPREFIX=$prefix wine cmd.exe /c pause <"$keeper" >/dev/null 2>&1 & done
exec 4>"$keeper"
# Each wineserver warmed with a 32-bit process besides the 64-bit ones (the desktop user, and
# rundll32); asking for the desktop window starts its window manager now, not on a test's
# demand. The prefixes side by side.
warm() {
    wine 'C:\windows\syswow64\cmd.exe' /c exit >/dev/null 2>&1 </dev/null
    wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 </dev/null
}
pids=""
for prefix in $prefixes; do (export WINEPREFIX="$prefix"; warm) 4>&- & pids="$pids $!"; done
for pid in $pids; do wait "$pid"; done
if [ "$lanes" -gt 0 ]; then
    echo "wine-session: $(wine --version) on $(uname -m), $lanes lanes: prefixes $lanes_dir/0-$((lanes - 1)) (copies of $base), display $DISPLAY"
else
    echo "wine-session: $(wine --version) on $(uname -m), prefix $WINEPREFIX, display $DISPLAY"
fi

"$@" 4>&-
rc=$?
exit $rc
