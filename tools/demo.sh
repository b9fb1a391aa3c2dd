#!/bin/sh
# The whole road, as a user takes it, shown step by step: the local stand-ins of the client-
# services and analytics endpoints start, setup.exe (as "Setup-demo-larchplay.exe") installs
# silently under Wine, the Installer's Updater fetches the package stand-in, which lays the main
# application down, and Park starts the application; then the touchpoint's uninstall entry is run
# as a user would (its boxes answered) and, after the next logon, the machine is compared with
# what it was. It prints what was laid down (files, links as the shell reads them, both registry
# views), what the application and the package recorded, what the servers received, the exit
# codes, setup's size, the install time, and "machine as before, but for:" with what differs;
# it fails on anything else. The road itself is the test tests/road/RoadTest.cpp.
# Runs inside tools/wine-session.sh (make demo).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

road="$LM_BUILD_DIR/tests/RoadTests.exe"
servers="$LM_BUILD_DIR/tests/servers"
for f in "$road" "$LM_BUILD_DIR/bin/setup.exe" "$LM_BUILD_DIR/tests/DebuggingValues.exe"; do
    [ -f "$f" ] || { printf 'demo: %s is missing; run make build\n' "$f" >&2; exit 1; }
done

python3 "$lm_root/tests/servers/http_test_server.py" start "$servers" || exit 1
stop() {
    wine "$LM_BUILD_DIR/tests/DebuggingValues.exe" remove >/dev/null 2>&1 </dev/null
    python3 "$lm_root/tests/servers/http_test_server.py" stop "$servers" >/dev/null 2>&1
}
trap stop EXIT
wine "$LM_BUILD_DIR/tests/DebuggingValues.exe" set </dev/null || exit 1

cd "$LM_BUILD_DIR/tests" || exit 1
# LM_DEMO_WINEDEBUG=+timestamp,+pid,+process make demo shows when each program of the road started.
WINEDEBUG=${LM_DEMO_WINEDEBUG:--all} wine "$road" --gtest_brief=1 </dev/null
rc=$?
[ $rc -eq 0 ] && printf '\nDemo finished: the road ran end to end and the machine is as before.\n' \
              || printf '\nDemo FAILED (exit code %s).\n' "$rc" >&2
exit $rc
