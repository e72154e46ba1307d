#!/usr/bin/env bash
# Every test: the portable core natively, then the Windows build under Wine
# (unit tests of the core and of the Win32 platform code, and the driven
# end-to-end runs of Atualizador.exe). Installs what it needs first.
# A failed test's output is shown where it fails; nothing of the Wine bench
# (Xvfb, the Wine server, the programs under test) outlives this command,
# whether it passes, fails or is interrupted.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

scripts/bootstrap.sh || exit 1

jobs=${JOBS:-2}
bench=build/windows/wine-bench

# Each step runs in a process group of its own, so that an interruption
# ends it with everything it started; a Ctrl-C or a SIGTERM to this script
# then also stops the bench.
running=
# shellcheck disable=SC2016  # expanded by the inner shell
run() {  # run [-q] LOG COMMAND...: output kept in LOG, and shown unless -q
    local show=1
    [ "$1" = -q ] && { show=0; shift; }
    local log=$1
    shift
    if [ $show = 1 ]; then
        setsid bash -c 'set -o pipefail; "$@" 2>&1 | tee "$0"' "$log" "$@" </dev/null &
    else
        setsid bash -c '"$@" >"$0" 2>&1' "$log" "$@" </dev/null &
    fi
    running=$!
    wait "$running"
    local status=$?
    running=
    return $status
}
stop_bench() {
    # The CTest teardown stops the bench too; this covers a run that never
    # reached it. Quiet unless something was still running.
    [ -d "$bench" ] || return 0
    BENCH_LOCK_WAIT=30 timeout 120 scripts/wine-bench.sh --build build/windows down 2>&1 |
        grep -v '^$' >&2 || true
}
interrupted() {
    trap '' INT TERM
    echo "test.sh: interrupted; stopping the tests and the Wine bench" >&2
    if [ -n "$running" ]; then
        kill -TERM -- "-$running" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 -- "-$running" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL -- "-$running" 2>/dev/null
    fi
    exit "$1"
}
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
trap stop_bench EXIT

mkdir -p build
# shellcheck disable=SC2016  # expanded by the inner shell
build='cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$2"'
run build/native-build.log sh -c "$build" sh native "$jobs" || exit 1
run build/windows-build.log sh -c "$build" sh windows "$jobs" || exit 1

# A short fuzzing run of the database header parser (a longer one: scripts/fuzz.sh 600).
fuzz_rc=0
if [ -x scripts/fuzz.sh ]; then
    run -q build/fuzz.log scripts/fuzz.sh "${FUZZ_SECONDS:-30}" || fuzz_rc=$?
    if [ "$fuzz_rc" -ne 0 ]; then
        tail -40 build/fuzz.log
    else
        echo "fuzzing: $(sed -n 's/^stat::number_of_executed_units: *//p' build/fuzz.log) inputs, no fault"
    fi
fi

summary() {  # summary LOG STATUS
    grep -E '^[0-9]+% tests passed' "$1" | tail -1 | grep . ||
        echo "no tests run: CTest stopped (exit $2) before running them; its error is above"
}
run build/native-ctest.log ctest --preset native -j "$jobs"
native_rc=$?
run build/windows-ctest.log ctest --preset windows
windows_rc=$?

# One closing line for both runs.
count() {
    local n
    n=$(sed -nE "s/.*tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\\$1/p" "$2" | tail -1)
    echo "${n:-0}"
}
failed=$(( $(count 1 build/native-ctest.log) + $(count 1 build/windows-ctest.log) ))
total=$(( $(count 2 build/native-ctest.log) + $(count 2 build/windows-ctest.log) ))
echo
echo "native:  $(summary build/native-ctest.log $native_rc)"
echo "windows: $(summary build/windows-ctest.log $windows_rc)"
[ "$fuzz_rc" -eq 0 ] || echo "fuzzing found a fault (exit $fuzz_rc)"
echo "$((total - failed)) passed, $failed failed"
[ "$native_rc" -eq 0 ] && [ "$windows_rc" -eq 0 ] && [ "$fuzz_rc" -eq 0 ]
