#!/bin/sh
# Runs one Windows program under Wine with no network: a new network namespace with only an
# unconfigured loopback (unshare -n). The running test session's wineserver, and the services that
# answer network questions, live outside that namespace; so the program gets a wineserver and a
# display of its own, on a private overlay of the project's prefix that is thrown away afterwards.
#   tools/offline-session.sh <program.exe> [args...]
# Exit code: the program's; 125 when the namespaces cannot be made here (the test is skipped).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
exec unshare -n -m sh -c '
    here=$0
    scratch=$(mktemp -d /tmp/lm-offline-XXXXXX) || exit 125
    mkdir -p "$scratch/upper" "$scratch/work" "$scratch/prefix"
    mount -t overlay overlay -o "lowerdir=$WINEPREFIX,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/prefix" || exit 125
    export WINEPREFIX="$scratch/prefix"
    unset DISPLAY
    "$here"/wine-session.sh "$here"/wine-run "$@"
    rc=$?
    umount "$scratch/prefix"
    rm -rf "$scratch"
    exit $rc
' "$here" "$@"
