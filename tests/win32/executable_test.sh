#!/usr/bin/env bash
# What Windows sees of Atualizador.exe before any of its code runs:
# - its manifest asks for administrator rights (it replaces files under
#   Program Files and at the drive root, and registers deletions at restart);
# - it imports only DLLs that Windows always loads from the system folder
#   (known DLLs). Anything else would be looked for beside the executable,
#   in a folder other programs can write, before the program could restrict
#   the search.
#   executable_test.sh ATUALIZADOR.EXE OBJDUMP
set -euo pipefail
exe=$1
objdump=$2

grep -aq 'level="requireAdministrator"' "$exe" ||
    { echo "the manifest does not ask for administrator rights" >&2; exit 1; }

known=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "
bad=0
while read -r dll; do
    case "$known" in
    *" ${dll,,} "*) ;;
    *) echo "imports $dll, which Windows would look for beside the executable" >&2; bad=1 ;;
    esac
done < <(timeout 60 "$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p')
exit $bad
