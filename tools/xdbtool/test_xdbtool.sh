#!/bin/bash
# shellcheck disable=SC2086
# xdbtool end to end, against what the Windows build made (testdata/) and
# openssl.   test_xdbtool.sh TESTDATA XDBTOOL [EMULATOR...]
# Under an emulator (the Windows build under Wine) the checks that need a fresh
# key container or Linux files (links, pipes, modes, homes, limits) are skipped.
set -uo pipefail
data=$(readlink -f "$1")
tool=$(readlink -f "$2")
shift 2
emulator=("$@")
[ $# -gt 0 ] && [[ $1 == */* ]] && emulator[0]=$(readlink -f "$1")
native=$(($# == 0))
xdbtool() { "${emulator[@]}" "$tool" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ATUALIZADOR_KEYS_DIR=$work/keys TMPDIR=$work/tmp
mkdir -p "$TMPDIR" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
# expect STATUS COMMAND...: runs COMMAND, output in out/err, checks its status.
expect() {
    "${@:2}" >out 2>err
    local got=$?
    [ "$got" -eq "$1" ] || fail "${*:2} exited $got, expected $1: $(cat err)"
}
# left NAME: fails when a file whose name starts with NAME is left here.
left() { [ -z "$(ls | grep "^$1")" ] || fail "a failed command left $(ls | grep "^$1")"; }
# plain PACKAGE: its text deciphered with the key the system derives from the
# fixed password (40 bits of its MD5, then 11 zero bytes).
key=$(printf 5d03e7b | openssl md5 -r | cut -c1-10)0000000000000000000000
plain() { openssl enc -d -rc4 -K "$key" -provider legacy -provider default -in "$1"; }

# A package is its header line and body under RC4, whole or in pieces of 1 MB
# (the body from standard input too, the output db.xdb by default), and reads
# back, as does the Windows build's; one extended is refused with a reason and
# status 1, and unpack writes nothing.
printf 'body\r\nwith\0zero' >body
head -c 1048576 /dev/zero >mega.body
expect 0 xdbtool pack --version VRS0042 --records -7 -o new.xdb body
printf '\x1D\x1E\x1F\x1E\x1D%s\x1E-7\x1FVRS0042\r\n' "$(stat -c %s new.xdb)" | cat - body |
    cmp -s - <(plain new.xdb) || fail "new.xdb is not its header and body under RC4"
cat mega.body | xdbtool pack --version BIG0001 --records 2 - || fail "from a pipe" # a pipe on purpose
plain db.xdb | tail -c 1048576 | cmp -s - mega.body || fail "db.xdb not one RC4 stream"
expect 0 xdbtool unpack db.xdb && cmp -s mega.body out || fail "db.xdb unpacked"
expect 0 xdbtool info "$data/win32.xdb"
[ "$(cat out)" = $'version: WIN0007\nrecords: 321' ] || fail "info of win32.xdb: $(cat out)"
expect 0 xdbtool unpack "$data/win32.xdb" && cmp -s "$data/win32.body" out || fail "win32.xdb"
{ cat new.xdb && printf 'x'; } >long.xdb
expect 1 xdbtool info long.xdb && [ -s err ] || fail "no reason given for long.xdb"
expect 1 xdbtool unpack long.xdb -o long.out && left long.out

# Bad arguments, unreadable files, version texts the updater cannot
# compare: status 2, nothing written, not even a temporary output.
for args in "" frobnicate info "info new.xdb extra" "pack --records 1" "pack --version VRS1 -c" \
    "pack --version VRS1 --records 40000" "pack --version VRS1 --records 1 -o none.xdb no-body" \
    "pack --version VRS1 --records 1 -o no/such/folder/x.xdb" "pack --version XDB1.5 --records 1"; do
    expect 2 xdbtool $args
done
grep -qF 'xdbtool: --version: version number is not a number: "XDB1.5"; the updater compares three characters then a whole number from -32768 to 32767' err ||
    fail "a refused version text is not explained: $(cat err)"
left none.xdb && [ ! -e no ] || fail "a refused command wrote"

# The output may be the input; one that is not a regular file is refused
# with status 2 and left as it was (a pipe never blocks).
cp new.xdb self.xdb
expect 0 xdbtool unpack self.xdb -o self.xdb && cmp -s body self.xdb || fail "unpack onto itself"
expect 0 xdbtool pack --version VRS0042 --records -7 -o self.xdb self.xdb
cmp -s new.xdb self.xdb || fail "pack onto its own body gave another package"
mkdir folder.xdb
for out in folder.xdb $([ $native -eq 1 ] && mkfifo pipe.xdb && echo pipe.xdb); do
    for command in "pack --version VRS0001 --records 1" "unpack new.xdb" "sign new.xdb" export-key; do
        expect 2 xdbtool $command -o $out
        grep -q "$out: is a .*, not a regular file; nothing written" err || fail "-o $out: $(cat err)"
    done
done
[ -d folder.xdb ] && { [ $native -eq 0 ] || [ -p pipe.xdb ]; } || fail "an output was replaced"

if [ $native -eq 1 ]; then
    # A link (to a link, dangling or not) stays: its end takes the content.
    mkdir real && ln -s real/target.xdb link.xdb && ln -s link.xdb chain.xdb
    for _ in dangling to-the-file; do
        expect 0 xdbtool pack --version VRS0042 --records -7 -o chain.xdb body
    done
    [ -L link.xdb ] && [ -L chain.xdb ] && cmp -s new.xdb real/target.xdb &&
        [ "$(ls real)" = target.xdb ] || fail "a link replaced, or its end not the one file written"

    # A write past the file size limit leaves no temporary output; a 200 MB
    # body packs and unpacks under a 64 MB address-space cap.
    expect 2 prlimit --fsize=65536 "$tool" pack --version VRS1 --records 1 -o capped.xdb mega.body
    left capped.xdb
    truncate -s 200M huge.body
    capped=(prlimit --as=67108864 "$tool")
    expect 0 "${capped[@]}" pack --version BIG0001 --records 2 -o huge.xdb huge.body
    expect 0 "${capped[@]}" unpack huge.xdb -o huge.out && cmp -s huge.body huge.out &&
        rm -f huge.* && [ -z "$(ls "$TMPDIR")" ] || fail "huge.xdb unpacked: $(ls "$TMPDIR")"

    # Packages need no key container, so no home (this one cannot hold a
    # folder); signing, with no key yet, says so.
    HOME=$work/body XDG_DATA_HOME='' ATUALIZADOR_KEYS_DIR='' expect 0 xdbtool unpack new.xdb
    cmp -s body out && [ ! -s err ] || fail "unpack without a home: $(cat err)"
    expect 1 xdbtool sign new.xdb && grep -q 'during CryptSignHash' err || fail "sign: $(cat err)"
fi

# The Windows build's key pair: kept in its owner's file alone, a malformed one
# refused, it signs as there (PKCS#1 v1.5) and exports as it came, its owner's
# alone. A key made here (3072 bits) signs what validates; a signature of
# another file or key, or cut short, is not valid, and no failure.
expect 0 xdbtool import-key "$data/win32.key"
if [ $native -eq 1 ]; then # Wine's CryptoAPI takes a blob cut short or extended
    head -c -1 "$data/win32.key" >cut.key && { cat "$data/win32.key" && printf 'x'; } >extended.key
    for bad in cut extended; do expect 1 xdbtool import-key $bad.key; done
    kept=$(cd "$ATUALIZADOR_KEYS_DIR"/* && stat -c '%n %a' ./*)
    [ "$kept" = "./signature.key 600" ] || fail "the key container holds: $kept"
fi
expect 0 xdbtool verify "$data/win32.xdb" "$data/win32.xdb.sig"
expect 0 xdbtool sign "$data/win32.xdb" -o - && cmp -s out "$data/win32.xdb.sig" || fail "sign"
expect 1 xdbtool verify long.xdb new.xdb && [ ! -s err ] || fail "a short signature: $(cat err)"
printf 'old' >exported.key && chmod 644 exported.key
expect 0 xdbtool export-key -o exported.key && cmp -s exported.key "$data/win32.key" || fail "key"
[ $native -eq 0 ] || [ "$(stat -c %a exported.key)" = 600 ] || fail "exported key readable by others"
expect 0 xdbtool keygen --force && expect 0 xdbtool export-key -o made.key
openssl rsa -inform MSBLOB -in made.key -noout -text | grep -q '(3072 bit' || fail "not 3072 bits"
expect 0 xdbtool sign new.xdb && expect 0 xdbtool verify new.xdb
expect 1 xdbtool verify "$data/win32.xdb" "$data/win32.xdb.sig" && [ ! -s err ] ||
    fail "another key's signature: $(cat err)"

[ "$failures" -eq 0 ] && echo "xdbtool: all checks passed"
exit $((failures > 0))
