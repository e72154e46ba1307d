#!/bin/bash
# A file registered with ScheduleDeleteOnRestart is gone after Windows (here
# Wine's wineboot -r) restarts, and wininit.ini has been processed.
#   restart_deletes_test.sh BUILD_DIR SCHEDULE_DELETE_EXE
set -euo pipefail
build=$1
helper=$2
scripts=$(dirname "$(readlink -f "$0")")/../../scripts
. "$scripts/wine-bench-lib.sh"
ATUALIZADOR_BENCH=$build/wine-bench
bench_locate
bench_up

drive_c=$WINEPREFIX/drive_c
windir=$drive_c/windows
target="$drive_c/Atualizador reinicio $$.exe"
echo exe >"$target"
rm -f "$windir/wininit.ini" "$windir/wininit.bak"

timeout 60 wine "$helper" "C:\\Atualizador reinicio $$.exe"
grep -q '^NUL=C:\\' "$windir/wininit.ini" || { echo "no NUL= line:"; cat "$windir/wininit.ini"; exit 1; }
[ -e "$target" ] || { echo "deleted too early"; exit 1; }

timeout 120 wine wineboot -r </dev/null >/dev/null 2>&1
if [ -e "$target" ]; then
    echo "still there after the restart: $target"
    exit 1
fi
[ -e "$windir/wininit.bak" ] || { echo "wininit.ini was not processed"; exit 1; }
rm -f "$windir/wininit.bak"
echo "deleted at restart"
