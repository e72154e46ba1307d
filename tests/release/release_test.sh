#!/usr/bin/env bash
# shellcheck disable=SC2015  # "A && B || fail": fail always exits
# scripts/release.sh end to end, one case per run, the release build shared:
#   release_test.sh arguments|unsigned|signed SOURCE_DIR WINDOWS_BUILD
set -euo pipefail
mode=$1
src=$(readlink -f "$2")
winbuild=$(readlink -f "$3")
release=$src/scripts/release.sh
export RELEASE_BUILD_DIR=$winbuild/release-build
work=$(mktemp -d "$winbuild/release-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
unset ATUALIZADOR_SIGN_PFX ATUALIZADOR_SIGN_PASSWORD ATUALIZADOR_SIGN_TIMESTAMP_URL \
    ATUALIZADOR_SIGN_CAFILE
printf 'registro um\r\nregistro dois\r\nregistro três\r\n' >records.txt
password='senha de teste'
make_certificate() {
    timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Atualizador test signer" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -keyout signer.key -out signer.pem >openssl.log 2>&1 &&
        PASSWORD=$password timeout 60 openssl pkcs12 -export -inkey signer.key -in signer.pem \
            -out signer.pfx -passout env:PASSWORD >>openssl.log 2>&1 || fail "openssl: $(cat openssl.log)"
}
release() {  # release VERSION [VARIABLE=VALUE...]: by $script into $dist (dist/), output in out and err
    env "${@:2}" timeout 900 "${script:-$release}" records.txt --version "$1" --records 3 \
        -o "${dist:-dist}" >out 2>err
}
unpack() {  # the ZIP of XDB0042 into unpacked/, with its listing and sums checked
    mkdir unpacked
    (cd unpacked && cmake -E tar xf ../dist/Atualizador-XDB0042.zip) || fail "cannot unpack"
    [ "$(cd unpacked && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
        "./Atualizador.exe ./SHA256SUMS ./db.xdb " ] || fail "the ZIP holds $(ls -R unpacked)"
    (cd unpacked && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
}

# Fault: bad arguments building or writing anything, or not exiting 2.
case_arguments() {
    local args
    for args in "" "records.txt --records 3" "records.txt --version XDB0042 --records three" \
        "records.txt --version XDB0042 --records 32768" "missing.txt --version XDB0042 --records 3" \
        "records.txt --version ../XDB0042 --records 3" "records.txt --version X --records 3 --sign" \
        "ATUALIZADOR_SIGN_PFX=records.txt" "ATUALIZADOR_SIGN_PASSWORD=x"; do
        local status=0
        if [[ $args == ATUALIZADOR_* ]]; then
            env "$args" RELEASE_BUILD_DIR=never-built timeout 30 "$release" records.txt \
                --version X --records 3 -o dist >out 2>err || status=$?
        else
            # shellcheck disable=SC2086  # the arguments are split on purpose
            RELEASE_BUILD_DIR=never-built timeout 30 "$release" $args -o dist >out 2>err || status=$?
        fi
        [ "$status" -eq 2 ] && grep -q '^usage: ' err || fail "'$args': exit $status, $(cat err)"
        [ ! -e never-built ] && [ ! -e dist ] || fail "'$args' started a build"
    done
}

# Faults: an unsigned release not saying so, or signed; a wrong password
# shipping an unsigned program; a ZIP (or a signed program, its signature
# removed) differing from another folder's, later, build.
case_unsigned() {
    release XDB0042 || fail "the unsigned release failed: $(cat err)"
    [ "$(grep -ci unsigned out)" -eq 1 ] || fail "not one line saying unsigned: $(cat out)"
    unpack
    ! timeout 60 osslsigncode verify -in unpacked/Atualizador.exe >/dev/null 2>&1 ||
        fail "an unsigned release has a signature"
    make_certificate
    local status=0
    release XDB0043 ATUALIZADOR_SIGN_PFX=signer.pfx ATUALIZADOR_SIGN_PASSWORD=wrong || status=$?
    [ "$status" -eq 1 ] && [ ! -e dist/Atualizador-XDB0043.zip ] ||
        fail "a wrong password exited $status and left $(ls dist)"
    mkdir clone again
    tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C clone -xmf -
    local again=(SOURCE_DATE_EPOCH="$(git -C "$src" log -1 --format=%ct)" "RELEASE_BUILD_DIR=$work/again-build")
    script=clone/scripts/release.sh dist=again release XDB0042 "${again[@]}" ||
        fail "the release from another folder failed: $(cat err)"
    cmp dist/Atualizador-XDB0042.zip again/Atualizador-XDB0042.zip ||
        fail "released again from another folder, the ZIP differs: $(cd again && cmake -E tar xf ./*.zip &&
            sha256sum -c ../unpacked/SHA256SUMS 2>&1 | tr '\n' ' ')"
    script=clone/scripts/release.sh dist=again release XDB0042 "${again[@]}" \
        ATUALIZADOR_SIGN_PFX=signer.pfx "ATUALIZADOR_SIGN_PASSWORD=$password" || fail "signing failed: $(cat err)"
    (cd again && cmake -E tar xf Atualizador-XDB0042.zip Atualizador.exe) || fail "cannot unpack the signed ZIP"
    timeout 60 osslsigncode remove-signature -in again/Atualizador.exe -out unsigned.exe >/dev/null &&
        cmp unsigned.exe unpacked/Atualizador.exe || fail "signed, the program differs but for its signature"
}

# Faults: a signature that does not verify, a header not hardened, no stack
# protector, no debug information through the debuglink, a package not the
# release's installed (same size: its hash; another: at load), the road not
# walked by the released program.
case_signed() {
    make_certificate
    release XDB0042 ATUALIZADOR_SIGN_PFX=signer.pfx "ATUALIZADOR_SIGN_PASSWORD=$password" ||
        fail "the signed release failed: $(cat err)"
    unpack
    timeout 60 osslsigncode verify -in unpacked/Atualizador.exe -CAfile signer.pem >verify.log 2>&1 ||
        fail "the signature does not verify: $(cat verify.log)"
    python3 "$src/tests/release/pe_hardening.py" unpacked/Atualizador.exe >hardening.log ||
        fail "the signed program lacks: $(cat hardening.log)"
    symbols=$(timeout 60 x86_64-w64-mingw32-objdump -t dist/Atualizador.exe.debug)
    # The guard's pointer: __stack_chk_fail alone comes with the fortified calls.
    grep -q ' \.refptr\.__stack_chk_guard$' <<<"$symbols" || fail "no stack protector in the program"
    grep -qE ' __[a-z]+_chk$' <<<"$symbols" || fail "no fortified library call in the program"
    cp dist/Atualizador.exe.debug unpacked/
    timeout 120 gdb -nx -batch -ex 'info line wWinMain' unpacked/Atualizador.exe >gdb.log 2>&1 || true
    grep -q '^Line [0-9]* of ".*main\.cpp"' gdb.log || fail "gdb finds no line information: $(cat gdb.log)"
    rm unpacked/Atualizador.exe.debug
    local run
    for run in "--swapped same-size" "--swapped other-size" ""; do
        # shellcheck disable=SC2086  # the arguments are split on purpose
        timeout 600 python3 "$src/tests/e2e/road_test.py" --build "$winbuild" \
            --exe unpacked/Atualizador.exe --package unpacked/db.xdb $run >road.log 2>&1 ||
            fail "the signed program ${run:-on the road}: $(tail -20 road.log)"
    done
}

"case_$mode"
