#!/usr/bin/env bash
# Lines of the updater's code and of its tests, at a revision (default: the
# working tree, new files included, ignored ones not).
#   scripts/line-counts.sh [REV]
# code:    the C++ sources under src/ and tools/.
# tests:   every source, script and CMake file under tests/, and xdbtool's
#          test script: the cases and what they run on together; the tooling
#          (UI driver, in-memory platform, stand-ins, scripted provider,
#          test-vector helpers) is also shown on its own.
# Scripts, the benchmark, the fuzzer, CMake modules and resources are counted
# apart, in neither.
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-}
if [ -n "$rev" ] && ! git rev-parse -q --verify "$rev^{tree}" >/dev/null; then
    echo "no such revision: $rev" >&2
    exit 2
fi

# "path lines" for every text file; binary files are left out.
if [ -n "$rev" ]; then
    all=$(git grep -I -c -e '' "$rev" | sed -E "s|^[^:]*:||; s|:([0-9]+)$| \\1|")
else
    all=$(git grep -I -c -e '' --untracked | sed -E 's|:([0-9]+)$| \1|')
fi
pick() { grep -E "$1" <<<"$all" || true; }
count() { awk '{ n += $NF } END { print n + 0 }'; }  # count < "path lines"

code=$(pick '^(src|tools)/[^ ]*\.(cpp|h) ' | count)
tests_re='^tests/([^ ]*/)?([^/ ]+\.(cpp|h|py|sh|cmake)|CMakeLists\.txt) |^tools/xdbtool/test_xdbtool\.sh '
tooling_re='^tests/(support|e2e/(driver|support|standins))/|^tests/crypto/(ScriptedProvider|Vectors|MakeProvider_|make_vectors)|^tests/win32/(TempFolder\.h|schedule_delete\.cpp) '
tests=$(pick "$tests_re" | count)
tooling=$(pick "$tests_re" | grep -E "$tooling_re" | count)

printf 'code     %6d  C++ under src/ and tools/\n' "$code"
printf 'tests    %6d  %d%% of the code (cases %d, tooling %d)\n' "$tests" \
    "$((code > 0 ? 100 * tests / code : 0))" "$((tests - tooling))" "$tooling"
printf 'apart    scripts %d, bench %d, fuzz %d, cmake %d, res %d\n' \
    "$(pick '^(scripts|\.ci)/' | count)" "$(pick '^bench/' | count)" \
    "$(pick '^fuzz/' | count)" "$(pick '^cmake/' | count)" "$(pick '^res/' | count)"
