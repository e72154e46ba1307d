#!/usr/bin/env bash
# Every test: the portable core natively, then the Windows build under Wine
# (unit tests of the core and of the Win32 platform code, and the driven
# end-to-end runs of Atualizador.exe). Installs what it needs first.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh || exit 1

jobs=${JOBS:-2}
build() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}
build native || exit 1
build windows || exit 1

# A short fuzzing run of the database header parser (a longer one: scripts/fuzz.sh 600).
fuzz_rc=0
if [ -x scripts/fuzz.sh ]; then
    mkdir -p build
    scripts/fuzz.sh "${FUZZ_SECONDS:-30}" >build/fuzz.log 2>&1 || fuzz_rc=$?
    if [ "$fuzz_rc" -ne 0 ]; then
        tail -40 build/fuzz.log
    else
        echo "fuzzing: $(sed -n 's/^stat::number_of_executed_units: *//p' build/fuzz.log) inputs, no fault"
    fi
fi

summary() { grep -E '^[0-9]+% tests passed' "$1" | tail -1; }
# The header-cost reader's differential test also reads the corpus the
# fuzzer grew, when there is one.
corpus=$PWD/build/fuzz/fuzz-corpus
[ -d "$corpus" ] || corpus=
ATUALIZADOR_FUZZ_CORPUS=$corpus ctest --preset native -j "$jobs" 2>&1 | tee build/native-ctest.log
native_rc=${PIPESTATUS[0]}
ctest --preset windows 2>&1 | tee build/windows-ctest.log
windows_rc=${PIPESTATUS[0]}

# One closing line for both runs.
count() { sed -nE "s/.*tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\\$1/p" "$2" | tail -1; }
failed=$(( $(count 1 build/native-ctest.log || echo 0) + $(count 1 build/windows-ctest.log || echo 0) ))
total=$(( $(count 2 build/native-ctest.log || echo 0) + $(count 2 build/windows-ctest.log || echo 0) ))
echo
echo "native:  $(summary build/native-ctest.log)"
echo "windows: $(summary build/windows-ctest.log)"
[ "$fuzz_rc" -eq 0 ] || echo "fuzzing found a fault (exit $fuzz_rc)"
echo "$((total - failed)) passed, $failed failed"
[ "$native_rc" -eq 0 ] && [ "$windows_rc" -eq 0 ] && [ "$fuzz_rc" -eq 0 ]
