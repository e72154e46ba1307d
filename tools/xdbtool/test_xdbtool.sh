#!/bin/bash
# xdbtool end to end: packages it makes, packages the Windows build made
# (testdata/, made under Wine with xdbtool.exe), corrupted packages, bad
# arguments, output files, version texts, reading without a home folder,
# bounded memory, and signatures across the two providers.
#   test_xdbtool.sh TESTDATA XDBTOOL [EMULATOR...]
# With an emulator (the Windows build under Wine) the key container is the
# emulator's, not a fresh one: the checks that need a fresh one are skipped,
# and so are those of Linux files (links, pipes, devices, modes, home
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
xdbtool=xdbtool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ATUALIZADOR_KEYS_DIR=$work/keys
export TMPDIR=$work/tmp
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

# The output may be the input itself.
cp new.xdb self.xdb
expect 0 "$xdbtool" unpack self.xdb -o self.xdb
cmp -s body self.xdb || fail "unpack onto its own package gave another body"
expect 0 "$xdbtool" pack --version VRS0042 --records -7 -o self.xdb self.xdb
cmp -s new.xdb self.xdb || fail "pack onto its own body gave another package"

# A body read from a pipe, and a package too.
if [ $native -eq 1 ]; then
    cat new.xdb | "$xdbtool" unpack - >piped.out || fail "unpack from a pipe"
    cmp -s body piped.out || fail "body unpacked from a pipe differs"
fi

# Output files. An existing -o target that is not a regular file is refused
# (status 2, a clear message) and left as it was; a pipe never blocks.
mkdir folder.xdb
for command in "pack --version VRS0001 --records 1" "unpack new.xdb" "sign new.xdb" "export-key"; do
    # shellcheck disable=SC2086
    expect 2 "$xdbtool" $command -o folder.xdb
    grep -q 'folder.xdb: is a folder, not a regular file' err ||
        fail "$command -o folder: no clear message: $(cat err)"
    [ -d folder.xdb ] || fail "$command -o folder replaced the folder"
done
if [ $native -eq 1 ]; then
    mkfifo pipe.xdb
    for command in "pack --version VRS0001 --records 1" "unpack new.xdb" "export-key"; do
        # shellcheck disable=SC2086
        expect 2 timeout 10 "$tool" $command -o pipe.xdb
        grep -q 'is a named pipe' err || fail "$command -o pipe: no clear message: $(cat err)"
        [ -p pipe.xdb ] || fail "$command -o pipe replaced the pipe"
    done
    if [ "$(id -u)" -eq 0 ] && mknod null.dev c 1 3 2>/dev/null; then
        expect 2 "$xdbtool" pack --version VRS0001 --records 1 -o null.dev
        [ -c null.dev ] || fail "pack -o device replaced the device"
    fi

    # A symbolic link stays a link; the file at the end of it takes the new
    # content, written beside that file and renamed into place.
    mkdir real
    printf 'old' >real/target.xdb
    ln -s real/target.xdb link.xdb
    ln -s link.xdb chain.xdb
    expect 0 "$xdbtool" pack --version LNK0001 --records 1 -o chain.xdb body
    [ -L link.xdb ] && [ -L chain.xdb ] || fail "pack replaced a symbolic link"
    expect 0 "$xdbtool" info real/target.xdb
    [ "$(cat out)" = $'version: LNK0001\nrecords: 1' ] || fail "the linked file was not written"
    ln -s real/fresh.xdb dangling.xdb
    expect 0 "$xdbtool" unpack new.xdb -o dangling.xdb
    [ -L dangling.xdb ] && cmp -s body real/fresh.xdb || fail "a dangling link was not written through"
    ln -s real dirlink.xdb
    expect 2 "$xdbtool" pack --version VRS0001 --records 1 -o dirlink.xdb
    [ -L dirlink.xdb ] || fail "a link to a folder was replaced"
    [ -z "$(ls real | grep -v -e '^target.xdb$' -e '^fresh.xdb$')" ] ||
        fail "temporary files left beside the linked files: $(ls real)"
fi

# Temporary names are created exclusively: a file, or a link, already under
# the name the tool used to write to is left alone.
printf 'keep' >guarded.xdb.xdbtool-new
expect 0 "$xdbtool" pack --version VRS0001 --records 1 -o guarded.xdb body
[ "$(cat guarded.xdb.xdbtool-new)" = keep ] || fail "an existing temporary name was overwritten"
if [ $native -eq 1 ]; then
    printf 'victim' >victim
    ln -s victim trap.xdb.xdbtool-new
    expect 0 "$xdbtool" pack --version VRS0001 --records 1 -o trap.xdb body
    [ "$(cat victim)" = victim ] || fail "pack wrote through a link under its temporary name"
fi

# ...and removed on every failure: a body that cannot be read, a write past
# the file size limit, a signal.
expect 2 "$xdbtool" pack --version VRS0001 --records 1 -o gone.xdb missing-body
[ -z "$(ls | grep '^gone\.xdb')" ] || fail "a failed pack left $(ls | grep '^gone\.xdb')"
if [ $native -eq 1 ]; then
    head -c 1048576 /dev/zero >mega.body
    (ulimit -f 64 && exec "$tool" pack --version VRS0001 --records 1 -o capped.xdb mega.body) \
        >out 2>err
    got=$?
    [ $got -eq 2 ] || fail "a write past the file size limit exited $got, expected 2: $(cat err)"
    [ -z "$(ls | grep '^capped\.xdb')" ] || fail "a failed write left $(ls | grep '^capped\.xdb')"
    mkfifo slow.body
    "$tool" pack --version VRS0001 --records 1 -o killed.xdb slow.body 2>/dev/null &
    packer=$!
    exec 3<>slow.body  # read-write: opening never blocks
    for _ in $(seq 100); do
        [ -n "$(ls | grep '^killed\.xdb\.')" ] && break
        sleep 0.05
    done
    [ -n "$(ls | grep '^killed\.xdb\.')" ] || fail "pack made no temporary file while reading"
    kill -TERM $packer
    wait $packer 2>/dev/null
    exec 3>&-
    [ -z "$(ls | grep '^killed\.xdb')" ] || fail "a terminated pack left $(ls | grep '^killed\.xdb')"
    [ -z "$(ls "$TMPDIR")" ] || fail "temporary files left in TMPDIR: $(ls "$TMPDIR")"
fi

# Version texts the updater cannot compare are refused (status 2); the ones
# it can are taken.
for version in 1.0 VRN99999 VRN-32769 '' ABC 'XDB  ' XDBabc XDB1.5 XDB0x10 'XDB1 2'; do
    expect 2 "$xdbtool" pack --version "$version" --records 1 -o badversion.xdb body
    grep -q -e '--version: version' err || fail "version '$version': no reason given: $(cat err)"
done
[ ! -e badversion.xdb ] || fail "a refused version left badversion.xdb"
for version in XDB-32768 XDB32767 'ABC 42 ' VRS0042 '12345'; do
    expect 0 "$xdbtool" pack --version "$version" --records 1 -o goodversion.xdb body
done

# Reading and making packages needs no key container, so no writable home
# folder; the commands that need one say which folder they could not make
# and why.
if [ $native -eq 1 ]; then
    printf 'x' >notafolder
    nohome() { HOME=$work/notafolder XDG_DATA_HOME='' ATUALIZADOR_KEYS_DIR='' "$@"; }
    expect 0 nohome "$xdbtool" info new.xdb
    [ "$(cat out)" = $'version: VRS0042\nrecords: -7' ] || fail "info without a home printed: $(cat out)"
    [ ! -s err ] || fail "info without a home complained: $(cat err)"
    expect 0 nohome "$xdbtool" pack --version VRS0001 --records 1 -o nohome.xdb body
    [ ! -s err ] || fail "pack without a home complained: $(cat err)"
    expect 0 nohome "$xdbtool" unpack nohome.xdb -o nohome.out
    cmp -s body nohome.out || fail "unpack without a home gave another body"
    for command in keygen "sign new.xdb" "verify new.xdb" "export-key"; do
        # shellcheck disable=SC2086
        expect 1 nohome "$xdbtool" $command
        grep -q "$work/notafolder/.local/share/atualizador/keys/.*Not a directory" err ||
            fail "$command without a home does not say which folder and why: $(cat err)"
    done

    # Pack, info and unpack run in bounded memory whatever the package's
    # size: a 200 MB body under a 64 MB address-space cap.
    truncate -s 200M huge.body
    capped() { (ulimit -v 65536 && exec "$@"); }
    expect 0 capped "$tool" pack --version BIG0001 --records 2 -o huge.xdb huge.body
    # (the checks of info and unpack stand on their own)
    [ -s huge.xdb ] || "$tool" pack --version BIG0001 --records 2 -o huge.xdb huge.body
    expect 0 capped "$tool" info huge.xdb
    [ "$(cat out)" = $'version: BIG0001\nrecords: 2' ] || fail "info of huge.xdb printed: $(cat out)"
    expect 0 capped "$tool" unpack huge.xdb -o huge.out
    cmp -s huge.body huge.out || fail "huge.xdb unpacked to another body"
    rm -f huge.body huge.xdb huge.out
fi

# Signatures: none without a key; a key pair exported by the Windows build
# validates its signature here, and what is signed here validates.
fresh=$native
[ $fresh -eq 1 ] && expect 1 "$xdbtool" sign new.xdb
expect 0 "$xdbtool" import-key "$data/win32.key"
expect 0 "$xdbtool" verify "$data/win32.xdb" "$data/win32.xdb.sig"
expect 0 "$xdbtool" sign "$data/win32.xdb" -o here.sig
cmp -s here.sig "$data/win32.xdb.sig" || fail "same key and file gave another signature"
expect 1 "$xdbtool" verify long.xdb new.xdb
expect 0 "$xdbtool" export-key -o exported.key
cmp -s exported.key "$data/win32.key" || fail "exported key differs from the imported one"
# A private key is readable by its owner alone, whatever was there before.
if [ $native -eq 1 ]; then
    [ "$(stat -c %a exported.key)" = 600 ] || fail "exported key has mode $(stat -c %a exported.key)"
    printf 'old' >open.key
    chmod 644 open.key
    expect 0 "$xdbtool" export-key -o open.key
    [ "$(stat -c %a open.key)" = 600 ] || fail "re-exported key has mode $(stat -c %a open.key)"
fi
[ $fresh -eq 1 ] && expect 1 "$xdbtool" keygen
# Keys are of 3072 bits unless --bits says otherwise (the Windows build's
# base provider takes them too).
expect 0 "$xdbtool" keygen --force
expect 0 "$xdbtool" export-key -o made.key
bits=$(od -An -tu4 -j12 -N4 made.key | tr -d ' ')
[ "$bits" = 3072 ] || fail "keygen made a key of $bits bits, expected 3072"
expect 0 "$xdbtool" sign new.xdb
expect 0 "$xdbtool" verify new.xdb
expect 1 "$xdbtool" verify "$data/win32.xdb" "$data/win32.xdb.sig"

[ "$failures" -eq 0 ] && echo "xdbtool: all checks passed"
exit $((failures > 0))
