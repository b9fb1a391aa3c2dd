#!/bin/sh
# Lists the cases of every GoogleTest executable of a build whose list is older than the
# executable, the executables side by side, then runs the command (CTest): CTest would list them
# one after another as it reads the tests, and every listing is a Wine start. Inside
# tools/wine-session.sh.
#   tools/discover-tests.sh <build folder> [command [args...]]
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?build folder}
shift
# A listing that fails says nothing here: CTest lists that executable again and reports it.
find "$build" \( -name wineprefix -o -name wine-lanes -o -name _deps \) -prune -o -name '*_include.cmake' -print0 |
    xargs -0 -r -n 1 -P "$(nproc)" sh -c 'cmake -DLM_TESTS_INCLUDE="$1" -P "$0" >/dev/null 2>&1' "$here/discover-tests.cmake"
[ $# -eq 0 ] || exec "$@"
