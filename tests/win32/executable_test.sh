#!/usr/bin/env bash
# What Windows sees of Atualizador.exe before any of its code runs:
# - its manifest asks for administrator rights (it replaces files under
#   Program Files and at the drive root, and registers deletions at restart);
# - its manifest depends on no side-by-side assembly: Windows looks for one in
#   a "<program>.local" folder beside the executable and takes redirections
#   from "<program>.config" before the system's copy, whatever the program
#   does about its DLL search, and other accounts can make those beside a
#   program at the drive root or in a Downloads folder;
# - it imports only DLLs that Windows always loads from the system folder
#   (known DLLs). Anything else would be looked for beside the executable,
#   in a folder other programs can write, before the program could restrict
#   the search;
# - it is hardened as the release checks it (tests/release/pe_hardening.py),
#   its code built with the stack protector.
#   executable_test.sh ATUALIZADOR.EXE OBJDUMP
set -euo pipefail
exe=$1
objdump=$2
bad=0

grep -aq 'level="requireAdministrator"' "$exe" ||
    { echo "the manifest does not ask for administrator rights" >&2; bad=1; }
if dependency=$(tr -s '\r\n ' ' ' <"$exe" | grep -ao '<dependentAssembly>[^/]*/>'); then
    echo "the manifest depends on a side-by-side assembly, which a .local folder or a .config" \
        "file beside the program can redirect: $dependency" >&2
    bad=1
fi

known=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "
while read -r dll; do
    case "$known" in
    *" ${dll,,} "*) ;;
    *) echo "imports $dll, which Windows would look for beside the executable" >&2; bad=1 ;;
    esac
done < <(timeout 60 "$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p')
python3 "$(dirname "$0")/../release/pe_hardening.py" "$exe" >&2 || bad=1
timeout 60 "$objdump" -t "$exe" | grep ' \.refptr\.__stack_chk_guard$' >/dev/null ||
    { echo "no stack protector: no code reads the stack guard" >&2; bad=1; }
exit $bad
