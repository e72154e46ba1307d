#!/usr/bin/env bash
# What Windows sees of Atualizador.exe before any of its code runs:
# - a manifest asking for administrator rights, and depending on no
#   side-by-side assembly (which a "<program>.local" folder or a
#   "<program>.config" file beside it, made by any account, can redirect);
# - imports of known DLLs only (others are looked for beside the program
#   before it can restrict the search);
# - the header a binary analyzer asks of a 64-bit program, no build time in
#   it; code built with the stack protector and fortified library calls.
#   executable_test.sh ATUALIZADOR.EXE OBJDUMP [FILE WITH ITS SYMBOLS]
set -euo pipefail
exe=$1
objdump=$2
bad=0
fail() {
    echo "$*" >&2
    bad=1
}

grep -aq 'level="requireAdministrator"' "$exe" || fail "the manifest does not ask for administrator rights"
if dependency=$(tr -s '\r\n ' ' ' <"$exe" | grep -ao '<dependentAssembly>[^/]*/>'); then
    fail "the manifest depends on a side-by-side assembly, which a .local folder or a .config" \
        "file beside the program can redirect: $dependency"
fi
headers=$(timeout 60 "$objdump" -p -h "$exe")
known=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "
while read -r dll; do
    [[ $known == *" ${dll,,} "* ]] || fail "imports $dll, which Windows would look for beside the executable"
done < <(sed -n 's/^\tDLL Name: //p' <<<"$headers")
for wanted in '^Magic.*(PE32+)' '^ImageBase\s*0*[1-9a-f][0-9a-f]{8}$' '^Time/Date.* 1970$' \
    '^\s*HIGH_ENTROPY_VA$' '^\s*DYNAMIC_BASE$' '^\s*NX_COMPAT$' '^\s*TERMINAL_SERVICE_AWARE$' \
    ' \.reloc '; do
    grep -Eq "$wanted" <<<"$headers" || fail "no header line $wanted"
done
! grep -q 'relocations stripped' <<<"$headers" || fail "relocations stripped: no ASLR"
! grep -E '^\s+CONTENTS.*(CODE|SHARED)' <<<"$headers" | grep -qv READONLY || fail "a writable section that is code or shared"
symbols=$(timeout 60 "$objdump" -t "${3:-$exe}")
# The guard's pointer: __stack_chk_fail alone comes with the fortified calls.
grep -q ' \.refptr\.__stack_chk_guard$' <<<"$symbols" || fail "no stack protector: no code reads the stack guard"
grep -qE ' __[a-z]+_chk$' <<<"$symbols" || fail "no fortified library call"
exit $bad
