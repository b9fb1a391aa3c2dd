#!/bin/sh
# The suite's main job, as far as it stands: Park armed in wait mode the way setup arms it, then
# released by the execute signal the way the Installer releases it, starts the main application
# (here StandIn.exe copied as Playdeck-lm.exe, which records how it was started).
# Runs inside tools/wine-session.sh (make demo).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

park="$LM_BUILD_DIR/bin/Park.exe"
standin="$LM_BUILD_DIR/tests/StandIn.exe"
demo="$LM_BUILD_DIR/demo"
appdir="$demo/Larchmeadow Games/App"
log="$appdir/Playdeck-lm.exe.log"
for f in "$park" "$standin"; do
    [ -f "$f" ] || { say "demo: $f is missing; run make build" >&2; exit 1; }
done

rm -rf "$demo"
mkdir -p "$appdir"
cp "$standin" "$appdir/Playdeck-lm.exe"
app_win=$(winepath -w "$appdir/Playdeck-lm.exe" 2>/dev/null)
params="/src installer /dp larchplay"
term='Global\LMPARKTERM'
exec_='Global\LMPARKEXEC'

# printf, not echo: the Windows paths hold backslashes that echo would read as escapes.
say() { printf '%s\n' "$*"; }
records() { if [ -f "$log" ]; then grep -c '^exe=' "$log" || true; else say 0; fi; }
alive() { kill -0 "$1" 2>/dev/null; }
# Waits up to $2 seconds for process $1 to end; sends the execute (or terminate) signal again
# every two seconds meanwhile, in case the first one came before Park had made its events.
release() {
    pid=$1 option=$2 event=$3 i=0
    while alive "$pid" && [ $i -lt 15 ]; do
        wine "$park" /Event$option "$event" /Signal$option >/dev/null 2>&1 </dev/null || true
        n=0
        while alive "$pid" && [ $n -lt 20 ]; do sleep 0.1; n=$((n + 1)); done
        i=$((i + 1))
    done
    if alive "$pid"; then say "   Park did not end; stopping it" >&2; kill "$pid"; return 1; fi
    wait "$pid"
}

say
say "== Park: start the main application only after the installation =="
say
say "1. setup arms Park in wait mode:"
say "   Park.exe /Execute \"$app_win\" /LaunchParams \"$params\" /EventTerminate \"$term\" /EventExecute \"$exec_\""
wine "$park" /Execute "$app_win" /LaunchParams "$params" /EventTerminate "$term" /EventExecute "$exec_" >/dev/null 2>&1 </dev/null &
waiter=$!
sleep 3
alive "$waiter" || { say "   Park did not stay waiting" >&2; exit 1; }
say "   Park is waiting on its two events; the program has not been started ($(records) records)."
say
say "2. A second Park in wait mode finds the events taken:"
rc=0; wine "$park" /Execute "$app_win" /LaunchParams "$params" /EventTerminate "$term" /EventExecute "$exec_" >/dev/null 2>&1 </dev/null || rc=$?
alive "$waiter" || { say "   the first Park is no longer waiting" >&2; exit 1; }
say "   it exits at once with $rc; the first one keeps waiting."
say
say "3. The Installer finishes and sends the execute signal:"
say "   Park.exe /EventExecute \"$exec_\" /SignalExecute"
rc=0; release "$waiter" Execute "$exec_" || rc=$?
say "   The waiting Park started the program and ended with exit code $rc."
i=0; while [ "$(records)" -lt 1 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
say
say "4. What the started program recorded:"
[ "$(records)" -ge 1 ] || { say "   nothing: the program did not start" >&2; exit 1; }
tr -d '\r' < "$log" | sed -n '1,4p' | sed -e 's/^exe=/   program:      /' -e 's/^workdir=/   its folder:   /' \
    -e 's/^commandline=/   command line: /' -e 's/^arguments=/   arguments:    /'
say
say "5. Armed again, then told to terminate (as the Installer's clean-up does):"
say "   Park.exe /EventTerminate \"$term\" /SignalTerminate"
wine "$park" /Execute "$app_win" /LaunchParams "$params" /EventTerminate "$term" /EventExecute "$exec_" >/dev/null 2>&1 </dev/null &
waiter=$!
sleep 2
rc=0; release "$waiter" Terminate "$term" || rc=$?
sleep 1
say "   Park ended with exit code $rc and started nothing (the program ran $(records) time(s) in all)."
say
say "Demo finished: Park started the program once, with its launch parameters, in its own folder."
