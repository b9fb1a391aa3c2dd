#!/bin/sh
# Runs a command inside one Wine session: an Xvfb display of its own, the project's 64-bit
# prefix (created on first use), and one persistent, warmed wineserver that is stopped at the end.
#   tools/wine-session.sh <command> [args...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
mkdir -p "$LM_BUILD_DIR"

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1
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
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-session: creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi

# A persistent wineserver, warmed with both a 64-bit and a 32-bit process, output to /dev/null:
# the first Wine process of a run otherwise keeps piped output (and CTest) waiting.
wineserver -p >/dev/null 2>&1 </dev/null

# One desktop user for the whole run. Wine closes the desktop a second after its last user
# process ended, and its window manager (explorer.exe /desktop) quits; the next program that
# needs the desktop starts a new explorer, which inherits that program's stderr. When the
# program is a test, explorer keeps CTest's pipe open after the test process ended, as long as
# other tests keep the desktop busy, and CTest waits on it until its time-out. With this user
# the desktop never closes: explorer is started once, below, with its output to /dev/null.
# It is a cmd.exe waiting for input on a fifo whose writing end only this shell holds: it ends
# with the shell (wineserver -k ends it too).
keeper="$LM_BUILD_DIR/.desktop-user.$$"
rm -f "$keeper"
mkfifo "$keeper"
wine cmd.exe /c pause <"$keeper" >/dev/null 2>&1 &
exec 4>"$keeper"
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null 4>&-
wine 'C:\windows\syswow64\cmd.exe' /c exit >/dev/null 2>&1 </dev/null 4>&-
# Asking for the desktop window starts its window manager now, not on a test's demand.
wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 </dev/null 4>&-
echo "wine-session: $(wine --version) on $(uname -m), prefix $WINEPREFIX, display $DISPLAY"

"$@" 4>&-
rc=$?
exit $rc
