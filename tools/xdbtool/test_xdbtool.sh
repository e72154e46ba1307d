#!/bin/bash
# xdbtool end to end: packages it makes, packages the Windows build made
# (testdata/, made under Wine with xdbtool.exe), corrupted packages, bad
# arguments, and signatures across the two providers.
#   test_xdbtool.sh TESTDATA XDBTOOL [EMULATOR...]
# With an emulator (the Windows build under Wine) the key container is the
# emulator's, not a fresh one: the checks that need a fresh one are skipped.
set -uo pipefail
data=$(readlink -f "$1")
tool=$(readlink -f "$2")
shift 2
emulator=("$@")
if [ ${#emulator[@]} -gt 0 ] && [[ ${emulator[0]} == */* ]]; then
    emulator[0]=$(readlink -f "${emulator[0]}")
fi
xdbtool() { "${emulator[@]}" "$tool" "$@"; }
xdbtool=xdbtool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ATUALIZADOR_KEYS_DIR=$work/keys
cd "$work" || exit 1
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect STATUS COMMAND...: runs COMMAND, output in out/err, checks its status.
expect() {
    local want=$1
    shift
    "$@" >out 2>err
    local got=$?
    [ "$got" -eq "$want" ] || fail "$* exited $got, expected $want: $(cat err)"
}

# A package made here reads back.
printf 'body\r\nwith\0zero' >body
expect 0 "$xdbtool" pack --version VRS0042 --records -7 -o new.xdb body
expect 0 "$xdbtool" info new.xdb
[ "$(cat out)" = $'version: VRS0042\nrecords: -7' ] || fail "info of new.xdb printed: $(cat out)"
expect 0 "$xdbtool" unpack new.xdb -o body.out
cmp -s body body.out || fail "unpacked body differs"

# Default output name, empty body, body from standard input.
expect 0 "$xdbtool" pack --version ABC1 --records 0
[ -f db.xdb ] || fail "pack did not write db.xdb"
printf 'piped' | "$xdbtool" pack --version ABC2 --records 1 -o piped.xdb - || fail "pack from stdin"
[ "$("$xdbtool" unpack piped.xdb)" = piped ] || fail "body from stdin not kept"

# A package the Windows build made reads the same here.
expect 0 "$xdbtool" info "$data/win32.xdb"
[ "$(cat out)" = $'version: WIN0007\nrecords: 321' ] || fail "info of win32.xdb printed: $(cat out)"
expect 0 "$xdbtool" unpack "$data/win32.xdb" -o win32.out
cmp -s "$data/win32.body" win32.out || fail "win32.xdb body differs"

# Corrupted packages are rejected with a reason and status 1.
size=$(stat -c %s new.xdb)
head -c $((size - 1)) new.xdb >short.xdb
cp new.xdb long.xdb && printf 'x' >>long.xdb
{ printf '\x00'; tail -c +2 new.xdb; } >marker.xdb
: >empty.xdb
for bad in short long marker empty; do
    expect 1 "$xdbtool" info $bad.xdb
    [ -s err ] || fail "no reason given for $bad.xdb"
    expect 1 "$xdbtool" unpack $bad.xdb -o $bad.out
    [ ! -e $bad.out ] || fail "unpack of $bad.xdb left output"
done

# Bad arguments and unreadable files: status 2, nothing written.
expect 2 "$xdbtool"
expect 2 "$xdbtool" frobnicate
expect 2 "$xdbtool" pack --records 1
expect 2 "$xdbtool" pack --version V --records 40000 -o none.xdb
expect 2 "$xdbtool" pack --version V --records 1x -o none.xdb
expect 2 "$xdbtool" pack --version V --records 1 -o none.xdb missing-body
expect 2 "$xdbtool" pack --version V --records 1 --colour -o none.xdb
[ ! -e none.xdb ] || fail "a failed pack left none.xdb"
expect 2 "$xdbtool" info
expect 2 "$xdbtool" info missing.xdb
expect 2 "$xdbtool" info new.xdb extra
expect 2 "$xdbtool" pack --version V --records 1 -o no/such/folder/x.xdb
ls no/such/folder/ >/dev/null 2>&1 && fail "pack made folders"
expect 0 "$xdbtool" --help
grep -q 'pack --version' out || fail "--help shows no usage"

# Signatures: none without a key; a key pair exported by the Windows build
# validates its signature here, and what is signed here validates.
fresh=$((${#emulator[@]} == 0))
[ $fresh -eq 1 ] && expect 1 "$xdbtool" sign new.xdb
expect 0 "$xdbtool" import-key "$data/win32.key"
expect 0 "$xdbtool" verify "$data/win32.xdb" "$data/win32.xdb.sig"
expect 0 "$xdbtool" sign "$data/win32.xdb" -o here.sig
cmp -s here.sig "$data/win32.xdb.sig" || fail "same key and file gave another signature"
expect 1 "$xdbtool" verify long.xdb new.xdb
expect 0 "$xdbtool" export-key -o exported.key
cmp -s exported.key "$data/win32.key" || fail "exported key differs from the imported one"
[ $fresh -eq 1 ] && expect 1 "$xdbtool" keygen
expect 0 "$xdbtool" keygen --force --bits 512
expect 0 "$xdbtool" sign new.xdb
expect 0 "$xdbtool" verify new.xdb
expect 1 "$xdbtool" verify "$data/win32.xdb" "$data/win32.xdb.sig"

[ "$failures" -eq 0 ] && echo "xdbtool: all checks passed"
exit $((failures > 0))
