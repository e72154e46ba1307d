#!/bin/bash
# Runs one Windows program under the Wine test bench: the CMake emulator of
# the windows build. Brings the bench up first (test discovery runs programs
# before any CTest fixture has run).
#   wine-run.sh PROGRAM.exe [ARGS...]
# The bench is <build>/wine-bench of the build folder holding PROGRAM, or
# $ATUALIZADOR_BENCH. A program running longer than $WINE_RUN_TIMEOUT
# seconds (default 600) is killed.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }
. "$(dirname "$(readlink -f "$0")")/wine-bench-lib.sh"
bench_locate "$1"
bench_up
exec timeout --kill-after=10 "${WINE_RUN_TIMEOUT:-600}" wine "$@"
