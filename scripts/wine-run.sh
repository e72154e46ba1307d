#!/bin/bash
# Runs one Windows program under the Wine test bench: the CMake emulator of
# the windows build. Brings the bench up first (test discovery runs programs
# before any CTest fixture has run).
#   wine-run.sh PROGRAM.exe [ARGS...]
# The bench is <build>/wine-bench of the build folder holding PROGRAM, or
# $ATUALIZADOR_BENCH. A program running longer than $WINE_RUN_TIMEOUT
# seconds (default 600) is killed. Its standard input is the caller's,
# unless that is a terminal. When the program did not end by itself
# with a status of its own (killed, timed out, not started by Wine), a line
# on standard error says so: Wine's own messages are off (WINEDEBUG=-all),
# and such a run often has no output at all.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }
. "$(dirname "$(readlink -f "$0")")/wine-bench-lib.sh"
bench_locate "$1"
bench_up

limit=${WINE_RUN_TIMEOUT:-600}
# A program under test reads no terminal. Given one as its input (CTest
# passes on the terminal it was started from), Wine starts a console host on
# it for every console program, from the background process group timeout
# makes, on the terminal of whoever started the run.
[ -t 0 ] && exec </dev/null
# A test program (GoogleTest's) always prints before it runs a test, so a
# failure with no output is Wine's: what it says when it cannot set a
# process up (a DLL missing, its initialization failing, with the status) is
# in its module channel, which WINEDEBUG=-all hides. Other programs keep
# their standard error as it is: tests compare it.
test_program=
case " $* " in *" --gtest_"*)
    test_program=1
    export WINEDEBUG="$WINEDEBUG,err+module" ;;
esac
# In the background so that a stop request (CTest's, or a Ctrl-C) reaches
# the program through timeout; the explicit redirection keeps its input.
timeout --kill-after=10 "$limit" wine "$@" <&0 &
child=$!
trap 'kill -TERM "$child" 2>/dev/null || true' TERM INT HUP
status=0
while :; do
    wait "$child" && status=0 || status=$?
    kill -0 "$child" 2>/dev/null || break
done

program=${1##*/}
if [ $status = 124 ] || { [ $status = 137 ] && [ "$SECONDS" -ge "$limit" ]; }; then
    bench_log "$program: killed at the ${limit} s limit"
elif [ $status = 137 ]; then
    bench_log "$program: killed (SIGKILL) after ${SECONDS} s by another process: its Wine session" \
        "was ended (wineserver -k, the bench stopped or renewed), or a test killed it"
elif [ $status -gt 128 ]; then
    bench_log "$program: ended by signal $((status - 128))"
elif [ $status = 53 ]; then
    bench_log "$program: exit 53, Wine's status for a DLL it could not find (0xC0000135):" \
        "the prefix's system folder damaged or gone? WINEDEBUG=err+module names the DLL"
elif [ $status -ge 125 ]; then
    bench_log "$program: Wine could not be started (exit $status)"
elif [ $status != 0 ] && [ -n "$test_program" ]; then
    bench_log "$program: exit $status"
fi
exit $status
