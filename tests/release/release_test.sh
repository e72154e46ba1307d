#!/usr/bin/env bash
# shellcheck disable=SC2015  # "A && B || fail": fail always exits
# scripts/release.sh end to end; the releases share one build:
#   release_test.sh arguments|releases SOURCE_DIR WINDOWS_BUILD
set -euo pipefail
mode=$1
src=$(readlink -f "$2")
winbuild=$(readlink -f "$3")
release=$src/scripts/release.sh
export RELEASE_BUILD_DIR=$winbuild/release-build SOURCE_DATE_EPOCH=1700000000
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
release() {  # release VERSION DIR [VARIABLE=VALUE...]: output in out and err
    env "${@:3}" timeout 900 "$release" records.txt --version "$1" --records 3 -o "$2" >out 2>err
}

# Fault: bad arguments building or writing anything, or not exiting 2.
case_arguments() {
    local args vars
    for args in "" "records.txt --records 3" "records.txt --version XDB0042 --records three" \
        "records.txt --version XDB0042 --records 32768" "missing.txt --version XDB0042 --records 3" \
        "records.txt --version ../XDB0042 --records 3" "records.txt --version X --records 3 --sign" \
        "ATUALIZADOR_SIGN_PFX=records.txt records.txt --version X --records 3" \
        "ATUALIZADOR_SIGN_PASSWORD=x records.txt --version X --records 3"; do
        local status=0
        vars=""
        [[ $args != ATUALIZADOR_* ]] || { vars=${args%% *}; args=${args#* }; }
        # shellcheck disable=SC2086  # the arguments are split on purpose
        env RELEASE_BUILD_DIR=never-built $vars timeout 30 "$release" $args -o dist >out 2>err || status=$?
        [ "$status" -eq 2 ] && grep -q '^usage: ' err || fail "'$vars $args': exit $status, $(cat err)"
        [ ! -e never-built ] && [ ! -e dist ] || fail "'$vars $args' started a build"
    done
}

# Faults: an unsigned release not saying so, or signed; its ZIP not as
# listed and summed, or its entries dated at the release's time; the shipped
# program not hardened (tests/win32/executable_test.sh), naming its build
# folder, or its debug file not found by the debuglink; a wrong password shipping anything; the signed
# program one that does not verify, or not the unsigned one but for its
# signature; a package not the release's installed; the road not walked by
# the released program.
case_releases() {
    release XDB0042 first || fail "the unsigned release failed: $(cat err)"
    [ "$(grep -ci unsigned out)" -eq 1 ] || fail "not one line saying unsigned: $(cat out)"
    local zip=first/Atualizador-XDB0042.zip exe=first/zip/Atualizador.exe
    [ "$(zipinfo -1 $zip | tr '\n' ' ')" = "Atualizador.exe db.xdb SHA256SUMS " ] ||
        fail "the ZIP holds $(zipinfo -1 $zip)"
    [ "$(zipinfo -T $zip | awk '/^-/ { print $7 }' | sort -u)" = 20231114.221320 ] ||
        fail "the ZIP's entries are not dated SOURCE_DATE_EPOCH: $(zipinfo -T $zip)"
    unzip -q $zip -d first/zip && (cd first/zip && sha256sum --quiet -c SHA256SUMS) ||
        fail "SHA256SUMS does not match"
    ! timeout 60 osslsigncode verify -in $exe >/dev/null 2>&1 || fail "an unsigned release has a signature"
    "$src/tests/win32/executable_test.sh" $exe x86_64-w64-mingw32-objdump \
        first/Atualizador.exe.debug || fail "the released program is not as it must be"
    # Built in another folder, the program would differ: the debug link holds the debug file's CRC.
    ! grep -alF "$src" $exe first/Atualizador.exe.debug || fail "the build names the folder it was built in"
    cp first/Atualizador.exe.debug first/zip/
    timeout 120 gdb -nx -batch -ex 'info line wWinMain' $exe >gdb.log 2>&1 || true
    grep -q '^Line [0-9]* of ".*main\.cpp"' gdb.log || fail "gdb finds no line information: $(cat gdb.log)"

    timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Atualizador test signer" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -keyout signer.key -out signer.pem >openssl.log 2>&1 &&
        timeout 60 openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.pfx \
            -passout pass:secreta >>openssl.log 2>&1 || fail "openssl: $(cat openssl.log)"
    local status=0
    release XDB0043 wrong ATUALIZADOR_SIGN_PFX=signer.pfx ATUALIZADOR_SIGN_PASSWORD=errada || status=$?
    [ "$status" -eq 1 ] && [ ! -e wrong/Atualizador-XDB0043.zip ] ||
        fail "a wrong password exited $status and left $(ls wrong)"
    release XDB0042 signed ATUALIZADOR_SIGN_PFX=signer.pfx ATUALIZADOR_SIGN_PASSWORD=secreta ||
        fail "the signed release failed: $(cat err)"
    unzip -q signed/Atualizador-XDB0042.zip -d signed/zip || fail "cannot unpack the signed ZIP"
    timeout 60 osslsigncode verify -in signed/zip/Atualizador.exe -CAfile signer.pem >verify.log 2>&1 ||
        fail "the signature does not verify: $(cat verify.log)"
    timeout 60 osslsigncode remove-signature -in signed/zip/Atualizador.exe -out removed.exe >/dev/null &&
        cmp removed.exe $exe || fail "signed, the program differs but for its signature"
    local run
    for run in "--swapped same-size" ""; do
        # shellcheck disable=SC2086  # the arguments are split on purpose
        timeout 600 python3 "$src/tests/e2e/road_test.py" --build "$winbuild" \
            --exe signed/zip/Atualizador.exe --package signed/zip/db.xdb $run >road.log 2>&1 ||
            fail "the signed program ${run:-on the road}: $(tail -20 road.log)"
    done
}

"case_$mode"
