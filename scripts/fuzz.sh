#!/bin/bash
# Builds the database parser's libFuzzer target with clang in a build folder
# of its own and runs it for a while (default 30 s) on a seed corpus of real
# packages' plain texts. Exits non-zero when the fuzzer finds a fault; the
# crashing input is left in the build folder.
#   scripts/fuzz.sh [SECONDS]     (build folder: $FUZZ_BUILD_DIR or build/fuzz)
set -euo pipefail
seconds=${1:-30}
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=${FUZZ_JOBS:-2}

# Warnings are not errors here: this build only has to run the fuzzer; the
# native build is where warnings fail.
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DATUALIZADOR_FUZZ=ON -DATUALIZADOR_WERROR=OFF >/dev/null
fi
cmake --build "$build" -j"$jobs" --target fuzz_database fuzz_make_seeds

corpus=$build/fuzz-corpus
seeds=$build/fuzz-seeds
rm -rf "$seeds"
# The seed maker's key container is a throwaway one.
ATUALIZADOR_KEYS_DIR=$build/fuzz-keys "$build/fuzz/fuzz_make_seeds" "$seeds" 2>/dev/null
mkdir -p "$corpus"

cd "$build"
# -timeout: one input taking over 10 s is a hang, and a failure.
timeout --kill-after=10 $((seconds + 60)) \
    "$build/fuzz/fuzz_database" -max_total_time="$seconds" -timeout=10 -max_len=65536 \
    -print_final_stats=1 -dict="$root/fuzz/database.dict" "$corpus" "$seeds"
