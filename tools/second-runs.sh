#!/bin/sh
# Names the tests of a CTest run that failed their first run and passed their second: CTest's
# "--repeat until-pass:2" counts them as passed, and a flaky test is to be seen, not hidden.
#   tools/second-runs.sh <CTest output log (ctest -O)>
# Prints nothing when every test passed on its first run (or the log is missing).
log=${1:-}
[ -n "$log" ] && [ -f "$log" ] || exit 0
awk '
/Test +#[0-9]+: / {
    line = $0
    sub(/^.*Test +#[0-9]+: /, "", line)
    name = line
    sub(/ .*$/, "", name)
    if (line ~ / Passed +[0-9.]+ sec/) {
        if ((name in failed) && !(name in listed)) {
            listed[name] = 1
            flaky[++count] = name
        }
    } else if (line ~ /\*\*\*/) {
        failed[name] = 1
    }
}
END {
    if (count == 0)
        exit 0
    printf "\nPassed only on their second run (%d; the output of their failed first run is above):\n", count
    for (i = 1; i <= count; i++)
        print "    " flaky[i]
}' "$log"
exit 0
