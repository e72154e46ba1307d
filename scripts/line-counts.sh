#!/usr/bin/env bash
# Lines of code, of test cases and of test tooling, at a revision (default:
# the working tree). Test tooling is what the tests run on rather than what
# they check: the UI driver, the in-memory platform, the stand-ins, the
# scripted provider and the test-vector helpers.
#   scripts/line-counts.sh [REV]
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-}
files() {
    if [ -n "$rev" ]; then git ls-tree -r --name-only "$rev"; else git ls-files; fi
}
count() {  # count < paths
    local total=0 n
    while read -r path; do
        if [ -n "$rev" ]; then n=$(git show "$rev:$path" | wc -l); else n=$(wc -l <"$path"); fi
        total=$((total + n))
    done
    echo "$total"
}
sources='\.(cpp|h|sh|py|cmake|rc|manifest)$|CMakeLists\.txt$'
tooling='^tests/(e2e/(driver|standins|support)|support)/|^tests/crypto/(ScriptedProvider|Vectors|MakeProvider_|make_vectors)|^tests/win32/(TempFolder\.h|schedule_delete\.cpp)'
tests='^tests/.*\.(cpp|h|sh|py)$|^tools/xdbtool/test_xdbtool\.sh$'
all=$(files | grep -E "$sources")
code=$(grep -vE '^tests/|test_xdbtool\.sh$' <<<"$all" | count)
cases=$(grep -E "$tests" <<<"$all" | grep -vE "$tooling" | count)
tools=$(grep -E "$tooling" <<<"$all" | count)
printf 'code %s, test cases %s (%s%% of the code), test tooling %s\n' "$code" "$cases" \
    "$((100 * cases / code))" "$tools"
