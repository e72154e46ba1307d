#!/usr/bin/env bash
# Makes an update ready to ship: DIR/Atualizador-TEXT.zip holding a stripped
# (and, when asked, signed) Atualizador.exe, the db.xdb packed from RECORDS,
# and SHA256SUMS; the debug information goes beside it, DIR/Atualizador.exe.debug.
#
#   scripts/release.sh RECORDS --version TEXT --records N [-o DIR]      (DIR: dist/)
#
# Signing (Authenticode, SHA-256): ATUALIZADOR_SIGN_PFX names a PKCS#12 file,
# ATUALIZADOR_SIGN_PASSWORD is its password; ATUALIZADOR_SIGN_TIMESTAMP_URL
# adds a time stamp from that service. The signature is verified against
# ATUALIZADOR_SIGN_CAFILE, by default the certificates in the PKCS#12 file.
#
# The build is the Windows configuration as Release, warnings as errors, in
# $RELEASE_BUILD_DIR (default build/release); the native xdbtool packs the
# database. CMake's install rules stage what ships (cmake/UpdatePackage.cmake),
# zipped here in a fixed order, times and modes: the same commit gives the
# same ZIP wherever and whenever it is released (unsigned; signed, the same
# program once its signature is removed). The entries are dated
# SOURCE_DATE_EPOCH, by default the time of the commit.
# Exit status: 0 done, 1 failed, 2 bad arguments or signing variables.
set -euo pipefail
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
caller=$PWD

usage() {
    echo "usage: scripts/release.sh RECORDS --version TEXT --records N [-o DIR]" >&2
    exit 2
}
bad() {
    echo "release: $*" >&2
    usage
}
die() {
    echo "release: $*" >&2
    exit 1
}

records_file="" version="" records="" out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --version | --records | -o)
        [ $# -ge 2 ] || bad "$1 needs a value"
        case "$1" in
        --version) version=$2 ;;
        --records) records=$2 ;;
        -o) out=$2 ;;
        esac
        shift 2
        ;;
    -*) bad "unknown option $1" ;;
    *)
        [ -z "$records_file" ] || bad "one RECORDS file only, not also $1"
        records_file=$1
        shift
        ;;
    esac
done
[ -n "$records_file" ] || bad "no RECORDS file given"
if [ ! -f "$records_file" ] || [ ! -r "$records_file" ]; then bad "cannot read $records_file"; fi
# The version names the ZIP too, so it has to be a plain file name part.
[ -n "$version" ] || bad "no --version given"
[[ $version != -* && $version != *[/[:space:][:cntrl:]]* ]] ||
    bad "--version '$version' is not usable in a file name"
if ! [[ $records =~ ^[0-9]{1,5}$ ]] || [ "$((10#$records))" -gt 32767 ]; then
    bad "--records must be a whole number from 0 to 32767, not '$records'"
fi

pfx=${ATUALIZADOR_SIGN_PFX:-} cafile=""
if [ -n "$pfx" ]; then
    [ -n "${ATUALIZADOR_SIGN_PASSWORD+set}" ] || bad "ATUALIZADOR_SIGN_PFX is set but ATUALIZADOR_SIGN_PASSWORD is not"
    if [ ! -f "$pfx" ] || [ ! -r "$pfx" ]; then bad "cannot read ATUALIZADOR_SIGN_PFX ($pfx)"; fi
    pfx=$(readlink -f "$pfx")
    export ATUALIZADOR_SIGN_PFX=$pfx
    cafile=${ATUALIZADOR_SIGN_CAFILE:-}
    if [ -n "$cafile" ]; then
        if [ ! -r "$cafile" ]; then bad "cannot read ATUALIZADOR_SIGN_CAFILE ($cafile)"; fi
        cafile=$(readlink -f "$cafile")
    fi
elif [ -n "${ATUALIZADOR_SIGN_PASSWORD+set}" ]; then
    bad "ATUALIZADOR_SIGN_PASSWORD is set but ATUALIZADOR_SIGN_PFX is not"
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
[[ $epoch =~ ^[0-9]{1,12}$ ]] || bad "SOURCE_DATE_EPOCH must be a number of seconds, not '$epoch'"

records_file=$(readlink -f "$records_file")
out=${out:-$root/dist}
mkdir -p "$out"
out=$(cd "$out" && pwd)
build=${RELEASE_BUILD_DIR:-$root/build/release}
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=${JOBS:-2}
zip_name=Atualizador-$version.zip
log=$build/release.log
: >"$log"

# Runs a step with its output in the log, shown only when it fails.
step() {
    local what=$1 output
    shift
    if ! output=$("$@" 2>&1); then
        printf '%s\n' "$output" >>"$log"
        printf '%s\n' "$output" | tail -40 >&2
        die "$what failed (whole log: $log)"
    fi
    printf '%s\n' "$output" >>"$log"
}

"$root/scripts/bootstrap.sh"

cd "$root"
step "building xdbtool" cmake --preset native
step "building xdbtool" cmake --build --preset native -j "$jobs" --target xdbtool
xdbtool=$root/build/native/tools/xdbtool

# The database first: a version text the packer refuses is the caller's to fix.
mkdir -p "$build/update"
db=$build/update/db.xdb
# The packer's key container stays in the build folder, not the maintainer's home.
export ATUALIZADOR_KEYS_DIR=$build/xdbtool-keys
status=0
"$xdbtool" pack --version "$version" --records "$records" -o "$db" "$records_file" \
    >>"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    tail -5 "$log" >&2
    [ "$status" -eq 2 ] && usage
    die "packing $records_file failed"
fi

# -O2 as in the tested configuration (and GCC 12 at -O3 reports false
# overlaps in std::string, fatal with warnings as errors); -g for the debug file.
step "configuring the release build" \
    cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release -DATUALIZADOR_WERROR=ON \
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -g -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -g -DNDEBUG" \
    "-DATUALIZADOR_UPDATE_DB=$db"
step "building Atualizador.exe" cmake --build "$build" -j "$jobs" --target Atualizador

# The install rules (program, database, then cmake/FinishUpdate.cmake: debug
# split, debuglink, signature, sums) into a staging folder, then the ZIP.
rm -rf "$build/package" "$build/Atualizador.exe.debug"
step "packaging" cmake --install "$build" --prefix "$build/package/stage"
zip=$build/package/$zip_name
step "zipping" python3 - "$zip" "$build/package/stage" "$epoch" <<'PY'
import shutil, sys, time, zipfile
path, stage, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
when = time.gmtime(max(epoch, 315532800))[:6]  # ZIP times start in 1980
with zipfile.ZipFile(path, "x") as archive:
    for name in ("Atualizador.exe", "db.xdb", "SHA256SUMS"):
        entry = zipfile.ZipInfo(name, when)
        entry.compress_type, entry.external_attr = zipfile.ZIP_DEFLATED, 0o100644 << 16
        with open(f"{stage}/{name}", "rb") as source, archive.open(entry, "w") as target:
            shutil.copyfileobj(source, target, 1 << 20)
PY
debug=$build/Atualizador.exe.debug

# ---- Checks on what ships, unpacked as a user would; the ZIP only reaches
# DIR when they all pass.
check=$build/package/check
rm -rf "$check"
mkdir -p "$check"
(cd "$check" && cmake -E tar xf "$zip") || die "cannot unpack $zip"
listing=$(cd "$check" && cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listing" = "Atualizador.exe SHA256SUMS db.xdb " ] ||
    die "$zip_name holds $listing, not Atualizador.exe, SHA256SUMS and db.xdb"
(cd "$check" && sha256sum --quiet -c SHA256SUMS) >>"$log" 2>&1 || die "SHA256SUMS does not match"
header=$("$xdbtool" info "$check/db.xdb" 2>>"$log" | tr '\n' ' ') || die "db.xdb does not read back"
[ "$header" = "version: $version records: $((10#$records)) " ] ||
    die "db.xdb reads back as '$header'"

exe=$check/Atualizador.exe
# The program vouches for this db.xdb and no other: its size and SHA-256 are
# in the program (a resource the signature covers).
seal="$(stat -c %s "$check/db.xdb") $(sha256sum "$check/db.xdb" | cut -d' ' -f1)"
grep -aqF "$seal" "$exe" || die "Atualizador.exe does not carry the seal of this db.xdb ($seal)"
objdump=x86_64-w64-mingw32-objdump
sections=$(timeout 60 "$objdump" -h "$exe") || die "objdump cannot read Atualizador.exe"
! grep -q ' \.debug_' <<<"$sections" || die "Atualizador.exe still has debug sections"
symbols=$(timeout 60 "$objdump" -t "$exe") || die "objdump cannot read Atualizador.exe"
! grep -q '^\[' <<<"$symbols" || die "Atualizador.exe still has a symbol table"
# The debuglink: the file's name, NUL-padded to 4 bytes, then its CRC-32,
# which is also the first half of a gzip trailer.
timeout 60 x86_64-w64-mingw32-objcopy --dump-section ".gnu_debuglink=$build/package/debuglink" \
    "$exe" "$build/package/exe-copy" >>"$log" 2>&1 || die "Atualizador.exe has no debuglink"
link_name=$(tr '\0' '\n' <"$build/package/debuglink" | head -1)
link_crc=$(tail -c 4 "$build/package/debuglink" | od -An -tx1 | tr -d ' \n')
debug_crc=$(gzip -c "$debug" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
if [ "$link_name" != Atualizador.exe.debug ] || [ "$link_crc" != "$debug_crc" ]; then
    die "the debuglink names '$link_name' (CRC $link_crc), not this Atualizador.exe.debug ($debug_crc)"
fi

if [ -n "$pfx" ]; then
    if [ -z "$cafile" ]; then
        # Files exported by older Windows use ciphers OpenSSL 3 keeps in its legacy provider.
        cafile=$build/package/signer.pem
        openssl pkcs12 -in "$pfx" -nokeys -passin env:ATUALIZADOR_SIGN_PASSWORD -out "$cafile" \
            >>"$log" 2>&1 ||
            openssl pkcs12 -legacy -in "$pfx" -nokeys -passin env:ATUALIZADOR_SIGN_PASSWORD \
                -out "$cafile" >>"$log" 2>&1 || die "cannot read the certificates of $pfx"
    fi
    verified=$(timeout 60 osslsigncode verify -in "$exe" -CAfile "$cafile" 2>&1) ||
        die "the signature does not verify:"$'\n'"$verified"
    signer=$(sed -n 's/^[[:space:]]*Subject: *//p' <<<"$verified" | head -1)
    signed="signed by $signer (SHA-256), verified"
    grep -q '^Timestamp is not available' <<<"$verified" || signed+=", time-stamped"
else
    signed="unsigned: set ATUALIZADOR_SIGN_PFX and ATUALIZADOR_SIGN_PASSWORD to sign"
fi

size() { numfmt --to=iec --suffix=B "$(stat -c %s "$1")"; }
sizes="Atualizador.exe $(size "$exe"), db.xdb $(size "$check/db.xdb")"
mv -f "$zip" "$out/$zip_name"
mv -f "$debug" "$out/Atualizador.exe.debug"
rm -rf "$check" "$build/package/debuglink" "$build/package/exe-copy"
shown() { echo "${1#"$caller"/}"; }
echo "release: $(shown "$out/$zip_name") ($(size "$out/$zip_name")): $sizes"
echo "  db.xdb: version $version, $((10#$records)) records; the program installs no other"
echo "  debug information: $(shown "$out/Atualizador.exe.debug") ($(size "$out/Atualizador.exe.debug"))"
echo "  $signed"
