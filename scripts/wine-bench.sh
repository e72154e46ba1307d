#!/bin/bash
# The Wine test bench, for CTest fixtures and for scripts.
#   wine-bench.sh [--build DIR] up            start Xvfb, prefix, Wine server
#   wine-bench.sh [--build DIR] down          stop every process of the bench
#   wine-bench.sh [--build DIR] renew         new prefix unless made during
#                                             the calling CTest run
#   wine-bench.sh [--build DIR] env           print the exports (eval them)
#   wine-bench.sh [--build DIR] reg-set KEY NAME TYPE DATA
#                                             e.g. 'HKLM\Software\X' DB REG_SZ 'C:\db.xdb'
#   wine-bench.sh [--build DIR] screenshot FILE.png
#   wine-bench.sh [--build DIR] run PROGRAM [ARGS...]
# DIR is a build folder (default: $ATUALIZADOR_BENCH, else build/windows).
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-bench-lib.sh"

build=""
if [ "${1:-}" = --build ]; then
    build=$2
    shift 2
fi
if [ -z "${ATUALIZADOR_BENCH:-}" ]; then
    build=${build:-$here/../build/windows}
    mkdir -p "$build"
    ATUALIZADOR_BENCH=$(cd "$build" && pwd)/wine-bench
fi
bench_locate
command=${1:-}
shift || true

case "$command" in
up) bench_up ;;
down) bench_down ;;
renew)
    # The calling CTest's start: the parent of this script under CTest.
    since=$(($(date +%s) - $(ps -o etimes= -p "$PPID" | tr -d ' ')))
    bench_renew_if_older "$since"
    bench_up
    ;;
env)
    bench_up
    for v in WINEPREFIX TMPDIR WINEDEBUG WINEDLLOVERRIDES LC_ALL DISPLAY; do
        printf 'export %s=%q\n' "$v" "${!v}"
    done
    ;;
reg-set)
    [ $# -eq 4 ] || bench_die "usage: reg-set KEY NAME TYPE DATA"
    bench_up
    timeout 60 wine reg add "$1" /v "$2" /t "$3" /d "$4" /f </dev/null >/dev/null
    ;;
screenshot)
    [ $# -eq 1 ] || bench_die "usage: screenshot FILE.png"
    bench_up
    timeout 30 import -window root "$1"
    ;;
run)
    bench_up
    exec timeout --kill-after=10 "${WINE_RUN_TIMEOUT:-600}" wine "$@"
    ;;
*)
    sed -n '2,13p' "$0" >&2
    exit 2
    ;;
esac
