#!/bin/bash
# xdbtool end to end: packages it makes, packages the Windows build made
# (testdata/, made under Wine with xdbtool.exe), corrupted packages, bad
# arguments, output files, reading without a home folder, bounded memory,
# and signatures across the two providers.
#   test_xdbtool.sh TESTDATA XDBTOOL [EMULATOR...]
# With an emulator (the Windows build under Wine) the key container is the
# emulator's, not a fresh one: the checks that need a fresh one are skipped,
# and so are those of Linux files (links, pipes, modes, signals, home
# folders, memory limits).
set -uo pipefail
data=$(readlink -f "$1")
tool=$(readlink -f "$2")
shift 2
emulator=("$@")
if [ ${#emulator[@]} -gt 0 ] && [[ ${emulator[0]} == */* ]]; then
    emulator[0]=$(readlink -f "${emulator[0]}")
fi
xdbtool() { "${emulator[@]}" "$tool" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ATUALIZADOR_KEYS_DIR=$work/keys TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
cd "$work" || exit 1
failures=0
native=$((${#emulator[@]} == 0))

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

# info_is FILE VERSION RECORDS: info reads FILE's header as that.
info_is() {
    expect 0 xdbtool info "$1"
    [ "$(cat out)" = $'version: '"$2"$'\nrecords: '"$3" ] || fail "info of $1 printed: $(cat out)"
}

# limited OPTION LIMIT COMMAND...: runs COMMAND under that ulimit.
limited() { (ulimit "$1" "$2" && exec "${@:3}"); }

# left NAME: fails when a file whose name starts with NAME is left here.
left() { [ -z "$(ls | grep "^$1")" ] || fail "a failed command left $(ls | grep "^$1")"; }

# A package made here reads back; the body may come from standard input,
# and the output defaults to db.xdb.
printf 'body\r\nwith\0zero' >body
expect 0 xdbtool pack --version VRS0042 --records -7 -o new.xdb body
info_is new.xdb VRS0042 -7
expect 0 xdbtool unpack new.xdb -o body.out
cmp -s body body.out || fail "unpacked body differs"
expect 0 xdbtool pack --version ABC1 --records 0
[ -f db.xdb ] || fail "pack did not write db.xdb"
printf 'piped' | xdbtool pack --version ABC2 --records 1 -o piped.xdb - || fail "pack from stdin"
[ "$(xdbtool unpack piped.xdb)" = piped ] || fail "body from stdin not kept"

# A package the Windows build made reads the same here.
info_is "$data/win32.xdb" WIN0007 321
expect 0 xdbtool unpack "$data/win32.xdb" -o win32.out
cmp -s "$data/win32.body" win32.out || fail "win32.xdb body differs"

# Corrupted packages are rejected with a reason and status 1.
size=$(stat -c %s new.xdb)
head -c $((size - 1)) new.xdb >short.xdb
cp new.xdb long.xdb && printf 'x' >>long.xdb
{ printf '\x00'; tail -c +2 new.xdb; } >marker.xdb
: >empty.xdb
for bad in short long marker empty; do
    expect 1 xdbtool info $bad.xdb
    [ -s err ] || fail "no reason given for $bad.xdb"
    expect 1 xdbtool unpack $bad.xdb -o $bad.out
    [ ! -e $bad.out ] || fail "unpack of $bad.xdb left output"
done

# Bad arguments, unreadable files and version texts the updater cannot
# compare: status 2, nothing written, no temporary file left.
expect 2 xdbtool
expect 2 xdbtool frobnicate
for args in "--records 1" "--version VRS1 --records 40000" "--version VRS1 --records 1x" \
    "--version VRS1 --records 1 missing-body" "--version VRS1 --records 1 --colour" \
    "--version XDB1.5 --records 1"; do
    # shellcheck disable=SC2086
    expect 2 xdbtool pack $args -o none.xdb
done
why='version number is not a number: "XDB1.5"; the updater compares three characters then'
grep -qF "xdbtool: --version: $why a whole number from -32768 to 32767" err ||
    fail "a refused version text is not explained: $(cat err)"
left none.xdb
expect 2 xdbtool pack --version VRS1 --records 1 -o no/such/folder/x.xdb
[ ! -e no ] || fail "pack made folders"
expect 2 xdbtool info
expect 2 xdbtool info missing.xdb
expect 2 xdbtool info new.xdb extra
expect 0 xdbtool --help
grep -q 'pack --version' out || fail "--help shows no usage"

# The output may be the input itself.
cp new.xdb self.xdb
expect 0 xdbtool unpack self.xdb -o self.xdb
cmp -s body self.xdb || fail "unpack onto its own package gave another body"
expect 0 xdbtool pack --version VRS0042 --records -7 -o self.xdb self.xdb
cmp -s new.xdb self.xdb || fail "pack onto its own body gave another package"

# An existing output that is not a regular file is refused (status 2, a
# clear message) and left as it was; a pipe never blocks.
mkdir folder.xdb
for command in "pack --version VRS0001 --records 1" "unpack new.xdb" "sign new.xdb" "export-key"; do
    # shellcheck disable=SC2086
    expect 2 xdbtool $command -o folder.xdb
    [ -d folder.xdb ] || fail "$command -o folder replaced the folder"
done
grep -q 'folder.xdb: is a folder, not a regular file; nothing written' err ||
    fail "-o folder: no clear message: $(cat err)"
if [ $native -eq 1 ]; then
    mkfifo pipe.xdb
    for command in "pack --version VRS0001 --records 1" "unpack new.xdb" "export-key"; do
        # shellcheck disable=SC2086
        expect 2 timeout 10 "$tool" $command -o pipe.xdb
        grep -q 'is a named pipe' err || fail "$command -o pipe: no clear message: $(cat err)"
        [ -p pipe.xdb ] || fail "$command -o pipe replaced the pipe"
    done
    cat new.xdb | timeout 10 "$tool" unpack - >piped.out || fail "unpack from a pipe"
    cmp -s body piped.out || fail "body unpacked from a pipe differs"

    # A symbolic link stays a link; the file at the end of it takes the new
    # content, written beside that file and renamed into place.
    mkdir real
    printf 'old' >real/target.xdb
    ln -s real/target.xdb link.xdb
    ln -s link.xdb chain.xdb
    expect 0 xdbtool pack --version LNK0001 --records 1 -o chain.xdb body
    [ -L link.xdb ] && [ -L chain.xdb ] || fail "pack replaced a symbolic link"
    info_is real/target.xdb LNK0001 1
    ln -s real/fresh.xdb dangling.xdb
    expect 0 xdbtool unpack new.xdb -o dangling.xdb
    [ -L dangling.xdb ] && cmp -s body real/fresh.xdb || fail "a dangling link was not written through"
    [ -z "$(ls real | grep -v -e '^target.xdb$' -e '^fresh.xdb$')" ] ||
        fail "temporary files left beside the linked files: $(ls real)"

    # The temporary output is removed on a write past the file size limit,
    # and on a signal.
    head -c 1048576 /dev/zero >mega.body
    expect 2 limited -f 64 "$tool" pack --version VRS1 --records 1 -o capped.xdb mega.body
    left capped.xdb
    mkfifo slow.body
    timeout 20 "$tool" pack --version VRS0001 --records 1 -o killed.xdb slow.body 2>/dev/null &
    packer=$!
    exec 3<>slow.body # read-write: opening never blocks
    for _ in $(seq 100); do
        [ -n "$(ls | grep '^killed\.xdb\.')" ] && break
        sleep 0.05
    done
    [ -n "$(ls | grep '^killed\.xdb\.')" ] || fail "pack made no temporary file while reading"
    kill -TERM $packer
    wait $packer
    exec 3>&-
    left killed.xdb
    [ -z "$(ls "$TMPDIR")" ] || fail "temporary files left in TMPDIR: $(ls "$TMPDIR")"

    # Reading and making packages needs no key container, so no writable
    # home folder; the commands that need one say which folder they could not
    # make and why.
    printf 'x' >notafolder
    nohome() { HOME=$work/notafolder XDG_DATA_HOME='' ATUALIZADOR_KEYS_DIR='' "$@"; }
    expect 0 nohome xdbtool pack --version VRS0001 --records 1 -o nohome.xdb body
    [ ! -s err ] || fail "pack without a home complained: $(cat err)"
    expect 0 nohome xdbtool unpack nohome.xdb -o nohome.out
    cmp -s body nohome.out && [ ! -s err ] || fail "unpack without a home: $(cat err)"
    expect 0 nohome xdbtool info new.xdb
    [ ! -s err ] || fail "info without a home complained: $(cat err)"
    for command in keygen "sign new.xdb" "verify new.xdb" "export-key"; do
        # shellcheck disable=SC2086
        expect 1 nohome xdbtool $command
        grep -q "$work/notafolder/.local/share/atualizador/keys/.*Not a directory" err ||
            fail "$command without a home does not say which folder and why: $(cat err)"
    done

    # Pack, info and unpack run in bounded memory whatever the package's
    # size: a 200 MB body under a 64 MB address-space cap.
    truncate -s 200M huge.body
    expect 0 limited -v 65536 "$tool" pack --version BIG0001 --records 2 -o huge.xdb huge.body
    # (the checks of info and unpack stand on their own)
    [ -s huge.xdb ] || "$tool" pack --version BIG0001 --records 2 -o huge.xdb huge.body
    expect 0 limited -v 65536 "$tool" info huge.xdb
    [ "$(cat out)" = $'version: BIG0001\nrecords: 2' ] || fail "info of huge.xdb printed: $(cat out)"
    expect 0 limited -v 65536 "$tool" unpack huge.xdb -o huge.out
    cmp -s huge.body huge.out || fail "huge.xdb unpacked to another body"
    rm -f huge.body huge.xdb huge.out
fi

# Signatures: none without a key; a key pair exported by the Windows build
# validates its signature here, and what is signed here validates.
[ $native -eq 1 ] && expect 1 xdbtool sign new.xdb
expect 0 xdbtool import-key "$data/win32.key"
expect 0 xdbtool verify "$data/win32.xdb" "$data/win32.xdb.sig"
expect 0 xdbtool sign "$data/win32.xdb" -o here.sig
cmp -s here.sig "$data/win32.xdb.sig" || fail "same key and file gave another signature"
expect 1 xdbtool verify long.xdb new.xdb
# A private key is readable by its owner alone, whatever was there before.
printf 'old' >exported.key
[ $native -eq 1 ] && chmod 644 exported.key
expect 0 xdbtool export-key -o exported.key
cmp -s exported.key "$data/win32.key" || fail "exported key differs from the imported one"
if [ $native -eq 1 ]; then
    [ "$(stat -c %a exported.key)" = 600 ] || fail "exported key has mode $(stat -c %a exported.key)"
    expect 1 xdbtool keygen
fi
# Keys are of 3072 bits unless --bits says otherwise (the Windows build's
# base provider takes them too).
expect 0 xdbtool keygen --force
expect 0 xdbtool export-key -o made.key
bits=$(od -An -tu4 -j12 -N4 made.key | tr -d ' ')
[ "$bits" = 3072 ] || fail "keygen made a key of $bits bits, expected 3072"
expect 0 xdbtool sign new.xdb
expect 0 xdbtool verify new.xdb
expect 1 xdbtool verify "$data/win32.xdb" "$data/win32.xdb.sig"

[ "$failures" -eq 0 ] && echo "xdbtool: all checks passed"
exit $((failures > 0))
