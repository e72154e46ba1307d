#!/usr/bin/env bash
# shellcheck disable=SC2015  # "A && B || fail": fail always exits
# scripts/release.sh end to end, one case per run:
#   release_test.sh arguments|unsigned|signed SOURCE_DIR WINDOWS_BUILD
# The release configuration is built once, in WINDOWS_BUILD/release-build,
# shared by the cases that build (CTest runs them under one resource lock).
set -euo pipefail
mode=$1
src=$(readlink -f "$2")
winbuild=$(readlink -f "$3")
release=$src/scripts/release.sh
export RELEASE_BUILD_DIR=$winbuild/release-build
work=$(mktemp -d "$winbuild/release-test.XXXXXX")
trap 'if [ -n "${drive:-}" ]; then undo_the_road; fi; rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Whoever runs the tests may have signing variables of their own.
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
release() {  # release VERSION [VARIABLE=VALUE...]: into dist/, output in out and err
    env "${@:2}" timeout 900 "$release" records.txt --version "$1" --records 3 -o dist >out 2>err
}
unpack() {  # the ZIP of XDB0042 into unpacked/, with its listing and sums checked
    mkdir unpacked
    (cd unpacked && cmake -E tar xf ../dist/Atualizador-XDB0042.zip) || fail "cannot unpack"
    [ "$(cd unpacked && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
        "./Atualizador.exe ./SHA256SUMS ./db.xdb " ] || fail "the ZIP holds $(ls -R unpacked)"
    (cd unpacked && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
}

# Usage and exit 2 before anything is built or written.
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

# Says so in one line, and means it; a wrong password ships nothing rather
# than an unsigned program.
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
}

# Signed and verified; gdb finds the debug information through the debuglink;
# the program from the unpacked ZIP, with its db.xdb, walks the whole road.
case_signed() {
    make_certificate
    release XDB0042 ATUALIZADOR_SIGN_PFX=signer.pfx "ATUALIZADOR_SIGN_PASSWORD=$password" ||
        fail "the signed release failed: $(cat err)"
    unpack
    timeout 60 osslsigncode verify -in unpacked/Atualizador.exe -CAfile signer.pem >verify.log 2>&1 ||
        fail "the signature does not verify: $(cat verify.log)"
    cp dist/Atualizador.exe.debug unpacked/
    timeout 120 gdb -nx -batch -ex 'info line wWinMain' unpacked/Atualizador.exe >gdb.log 2>&1 || true
    grep -q '^Line [0-9]* of ".*main\.cpp"' gdb.log || fail "gdb finds no line information: $(cat gdb.log)"
    rm unpacked/Atualizador.exe.debug
    walk_the_road
}

# ---- The road under Wine, as a person walks it (scripts/demo.sh walks the
# same one): the wizard's three steps to "Finalizar", the cleanup window to
# "Pronto", and the restart question, answered "Cancelar".
key='HKLM\SOFTWARE\Holmcrest\Varnel R40'
drv() { timeout 60 wine "$winbuild/tests/e2e/driver/uidriver.exe" "$@" </dev/null 2>>driver.log | tr -d '\r'; }
wait_controls() {  # WINDOW TEXT...: until the window's controls show every TEXT
    local listing text missing
    for _ in $(seq 150); do
        listing=$(drv controls --timeout 2000 "$1" || true) missing=""
        for text in "${@:2}"; do grep -qF -- "$text" <<<"$listing" || missing=$text; done
        [ -z "$missing" ] && return 0
        sleep 0.2
    done
    fail "$1 never showed $missing; last seen: $listing"
}
walk_the_road() {
    eval "$("$src/scripts/wine-bench.sh" --build "$winbuild" env)"
    drive=$WINEPREFIX/drive_c
    [ ! -e "$drive/windows/wininit.ini" ] || cp "$drive/windows/wininit.ini" wininit.before
    local update=$drive/release-test/Atualizacao product="$drive/release-test/Varnel R40"
    mkdir -p "$update" "$product"
    cp unpacked/Atualizador.exe unpacked/db.xdb "$update/"
    cp "$winbuild/tests/e2e/standins/removedor.exe" "$product/"
    # An older installed database; the shipped one read with the system's own
    # cipher; the user's key container made (by making a signature key), whose
    # first use the updater would otherwise announce in a box.
    local xdbtool=$winbuild/tools/xdbtool.exe
    timeout 120 wine "$xdbtool" keygen --bits 1024 </dev/null >/dev/null 2>&1 || true
    timeout 60 wine "$xdbtool" pack --version XDB0041 --records 1 \
        -o 'C:\release-test\Varnel R40\db.xdb' </dev/null >/dev/null 2>&1 || fail "xdbtool.exe pack"
    [ "$(timeout 60 wine "$xdbtool" info 'C:\release-test\Atualizacao\db.xdb' </dev/null 2>&1 |
        tr -d '\r' | tr '\n' ' ')" = "version: XDB0042 records: 3 " ] || fail "Windows cannot read db.xdb"
    timeout 60 wine reg add "$key" /v DB /t REG_SZ /d 'C:\release-test\Varnel R40\db.xdb' /f \
        </dev/null >/dev/null 2>&1 || fail "cannot set the product's registry value"

    # Not through a pipe: the program would hold it open for its whole life.
    timeout 60 wine "$winbuild/tests/e2e/driver/uidriver.exe" start \
        'C:\release-test\Atualizacao\Atualizador.exe' </dev/null >pids 2>>driver.log || fail "no start"
    local wizard=class:AtualizadorWizard wait=class:AtualizadorWait
    drv click --timeout 30000 "$wizard" Prosseguir || fail "no Prosseguir on the first step"
    wait_controls "$wizard" 'Versão instalada' 'enabled "Prosseguir"'
    drv click "$wizard" Prosseguir || fail "no Prosseguir on the second step"
    wait_controls "$wizard" 'O Banco de Dados foi atualizado' 'enabled "Finalizar"'
    cmp -s unpacked/db.xdb "$product/db.xdb" || fail "the installed database is not the shipped one"
    drv click "$wizard" Finalizar || fail "no Finalizar"
    drv wait-window --timeout 30000 "$wait" >/dev/null || fail "no cleanup window"
    drv list | awk '/ AtualizadorWait / { print $2 }' >>pids
    wait_controls "$wait" '"Pronto"'
    local box
    box=$(drv msgbox --timeout 30000) || fail "no restart question"
    grep -qx 'title: Reinicialização' <<<"$box" || fail "not the restart question: $box"
    drv press 2 && drv wait-gone --timeout 20000 "$wait" || fail "Cancelar leaves the cleanup window"
    [ ! -e "$update/Atualizador.exe" ] || fail "the finished updater was not deleted"
    [ -e "$product/removedor-ran.txt" ] || fail "the remover was not started"
}
# Ends what a failure left running, and removes the copy, the pending
# deletion and the registry value that the road leaves behind.
undo_the_road() {
    local pid
    for pid in $(tr -dc '0-9\n' 2>/dev/null <pids); do
        timeout 30 wine taskkill /f /pid "$pid" </dev/null >/dev/null 2>&1 || true
    done
    find "$drive" -maxdepth 1 -name 'Atualizador*.exe' -newer records.txt -delete
    rm -rf "$drive/windows/wininit.ini" "$drive/release-test"
    [ ! -e wininit.before ] || cp wininit.before "$drive/windows/wininit.ini"
    timeout 60 wine reg delete "$key" /v DB /f </dev/null >/dev/null 2>&1 || true
}

"case_$mode"
