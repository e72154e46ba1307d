#!/usr/bin/env bash
# scripts/release.sh end to end, one case per run:
#   release_test.sh arguments|unsigned|signed SOURCE_DIR WINDOWS_BUILD
# arguments  bad arguments and half-given signing variables: usage, exit 2,
#            before anything is built
# unsigned   without the signing variables the release says so in one line
#            and the program carries no signature; a wrong password ships nothing
# signed     a throwaway code-signing certificate signs the release; the
#            signature verifies, the ZIP holds what it should, gdb finds the
#            debug information, and the program from the unpacked ZIP, with
#            its db.xdb, walks the whole road under Wine
# The release configuration is built once, in WINDOWS_BUILD/release-build,
# and shared by the cases (CTest runs them under one resource lock).
set -euo pipefail
mode=$1
src=$(readlink -f "$2")
winbuild=$(readlink -f "$3")
release=$src/scripts/release.sh
export RELEASE_BUILD_DIR=$winbuild/release-build
work=$(mktemp -d "$winbuild/release-test.XXXXXX")
road_started=0
trap 'if [ "$road_started" = 1 ]; then undo_the_road; fi; rm -rf "$work"' EXIT
cd "$work"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

printf 'registro um\r\nregistro dois\r\nregistro três\r\n' >records.txt

# The signing variables of whoever runs the tests never leak into a case.
unset ATUALIZADOR_SIGN_PFX ATUALIZADOR_SIGN_PASSWORD ATUALIZADOR_SIGN_TIMESTAMP_URL \
    ATUALIZADOR_SIGN_CAFILE

# expect_usage ARGS...: exit 2 and the usage line, before any build starts.
expect_usage() {
    local status=0
    RELEASE_BUILD_DIR=$work/never-built timeout 30 "$release" "$@" >out 2>err || status=$?
    [ "$status" -eq 2 ] || fail "release.sh $* exited $status, not 2: $(cat err)"
    grep -q '^usage: ' err || fail "release.sh $* gave no usage: $(cat err)"
    [ ! -e "$work/never-built" ] || fail "release.sh $* started a build"
    [ ! -e dist ] || fail "release.sh $* made its output folder"
}

# Unpacks a ZIP into a new folder and checks its listing and sums.
unpack() {  # unpack ZIP FOLDER
    mkdir -p "$2"
    (cd "$2" && cmake -E tar xf "$1") || fail "cannot unpack $1"
    local listing
    listing=$(cmake -E tar tf "$1" | LC_ALL=C sort | tr '\n' ' ')
    [ "$listing" = "Atualizador.exe SHA256SUMS db.xdb " ] || fail "the ZIP holds $listing"
    (cd "$2" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
}

case_arguments() {
    expect_usage
    expect_usage records.txt --records 3
    expect_usage records.txt --version XDB0042
    expect_usage records.txt --version XDB0042 --records 3 stray.txt
    expect_usage records.txt --version XDB0042 --records three
    expect_usage records.txt --version XDB0042 --records 32768
    expect_usage records.txt --version XDB0042 --records 3 -o
    expect_usage records.txt --version XDB0042 --records 3 --sign
    expect_usage records.txt --version ../XDB0042 --records 3
    expect_usage missing.txt --version XDB0042 --records 3
    ATUALIZADOR_SIGN_PFX=records.txt expect_usage records.txt --version XDB0042 --records 3
    ATUALIZADOR_SIGN_PASSWORD=x expect_usage records.txt --version XDB0042 --records 3
}

case_unsigned() {
    timeout 900 "$release" records.txt --version XDB0042 --records 3 -o dist >out 2>err ||
        fail "the unsigned release failed: $(cat err)"
    [ "$(grep -ci unsigned out)" -eq 1 ] || fail "not one line saying unsigned:"$'\n'"$(cat out)"
    unpack "$work/dist/Atualizador-XDB0042.zip" unpacked
    if timeout 60 osslsigncode verify -in unpacked/Atualizador.exe >verify.log 2>&1; then
        fail "an unsigned release has a signature"
    fi

    # A password that does not open the certificate fails the release,
    # rather than shipping the program unsigned.
    make_certificate
    local status=0
    ATUALIZADOR_SIGN_PFX=$work/signer.pfx ATUALIZADOR_SIGN_PASSWORD=wrong \
        timeout 900 "$release" records.txt --version XDB0043 --records 3 -o dist >out 2>err ||
        status=$?
    [ "$status" -eq 1 ] || fail "signing with a wrong password exited $status, not 1"
    [ ! -e dist/Atualizador-XDB0043.zip ] || fail "a failed signing still left a ZIP"
}

password='senha de teste'
make_certificate() {
    timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Atualizador test signer" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -keyout signer.key -out signer.pem >openssl.log 2>&1 || fail "openssl req: $(cat openssl.log)"
    PASSWORD=$password timeout 60 openssl pkcs12 -export -inkey signer.key -in signer.pem \
        -out signer.pfx -passout env:PASSWORD >>openssl.log 2>&1 ||
        fail "openssl pkcs12: $(cat openssl.log)"
}

case_signed() {
    make_certificate
    ATUALIZADOR_SIGN_PFX=$work/signer.pfx ATUALIZADOR_SIGN_PASSWORD=$password \
        timeout 900 "$release" records.txt --version XDB0042 --records 3 -o dist >out 2>err ||
        fail "the signed release failed: $(cat err)"
    grep -q 'signed by .*Atualizador test signer' out || fail "no signer in the summary: $(cat out)"
    unpack "$work/dist/Atualizador-XDB0042.zip" unpacked
    timeout 60 osslsigncode verify -in unpacked/Atualizador.exe -CAfile signer.pem >verify.log 2>&1 ||
        fail "the signature does not verify: $(cat verify.log)"

    # The debugger finds the line information through the debuglink alone.
    cp dist/Atualizador.exe.debug unpacked/
    timeout 120 gdb -nx -batch -ex 'info line wWinMain' unpacked/Atualizador.exe >gdb.log 2>&1 || true
    grep -q '^Line [0-9]* of ".*main\.cpp"' gdb.log || fail "gdb finds no line information: $(cat gdb.log)"
    rm unpacked/Atualizador.exe.debug

    walk_the_road unpacked
}

# ---- The road under Wine, as a person walks it: the wizard's three steps to
# "Finalizar", the cleanup window to "Pronto", and the restart question.
key='HKLM\SOFTWARE\Holmcrest\Varnel R40'
driver=$winbuild/tests/e2e/driver/uidriver.exe
drv() { timeout 60 wine "$driver" "$@" </dev/null 2>>"$work/driver.log" | tr -d '\r'; }
wizard=class:AtualizadorWizard
wait=class:AtualizadorWait

walk_the_road() {
    local from=$work/$1
    eval "$("$src/scripts/wine-bench.sh" --build "$winbuild" env)"
    drive=$WINEPREFIX/drive_c
    local here=$drive/release-test
    local update=$here/Atualizacao product="$here/Varnel R40"
    # What the road leaves for the next start of Windows is undone afterwards.
    copies_before=$(find "$drive" -maxdepth 1 -name 'Atualizador*.exe' -printf '%f\n')
    rm -f "$work/wininit.before"
    [ ! -e "$drive/windows/wininit.ini" ] || cp "$drive/windows/wininit.ini" "$work/wininit.before"
    road_started=1

    rm -rf "$here"
    mkdir -p "$update" "$product"
    cp "$from/Atualizador.exe" "$from/db.xdb" "$update/"
    cp "$winbuild/tests/e2e/standins/removedor.exe" "$product/"
    # The installed, older database; reading the shipped one with the Windows
    # tool checks it with the system's own cipher.
    local winxdbtool=$winbuild/tools/xdbtool.exe
    timeout 60 wine "$winxdbtool" pack --version XDB0041 --records 1 \
        -o 'C:\release-test\Varnel R40\db.xdb' </dev/null >/dev/null 2>>"$work/wine.log" ||
        fail "cannot make the installed database"
    [ "$(timeout 60 wine "$winxdbtool" info 'C:\release-test\Atualizacao\db.xdb' </dev/null \
        2>>"$work/wine.log" | tr -d '\r' | tr '\n' ' ')" = "version: XDB0042 records: 3 " ] ||
        fail "Windows does not read the shipped db.xdb"
    timeout 60 wine reg add "$key" /v DB /t REG_SZ /d 'C:\release-test\Varnel R40\db.xdb' /f \
        </dev/null >/dev/null 2>&1 || fail "cannot set the product's registry value"

    # Not through a pipe: the program would hold it open for its whole life.
    timeout 60 wine "$driver" start 'C:\release-test\Atualizacao\Atualizador.exe' \
        </dev/null >started 2>>"$work/driver.log" || fail "the program does not start"
    pids=$(tr -dc 0-9 <started)
    drv wait-window --timeout 30000 "$wizard" >/dev/null || fail "no wizard"
    drv click "$wizard" Prosseguir || fail "no Prosseguir on the first step"
    wait_controls "$wizard" 'Versão instalada' 'enabled "Prosseguir"'
    drv click "$wizard" Prosseguir || fail "no Prosseguir on the second step"
    wait_controls "$wizard" 'O Banco de Dados foi atualizado' 'enabled "Finalizar"'
    cmp -s "$from/db.xdb" "$product/db.xdb" || fail "the installed database is not the shipped one"
    drv click "$wizard" Finalizar || fail "no Finalizar"

    drv wait-window --timeout 30000 "$wait" >/dev/null || fail "no cleanup window"
    pids+=" $(drv list | awk '/ AtualizadorWait / { print $2; exit }')"
    wait_controls "$wait" '"Pronto"'
    drv msgbox --timeout 30000 >box || fail "no restart question"
    grep -qx 'title: Reinicialização' box || fail "not the restart question: $(cat box)"
    drv press 2 || fail "cannot answer the restart question"
    drv wait-gone --timeout 20000 "$wait" || fail "the cleanup window stays after Cancelar"
    [ ! -e "$update/Atualizador.exe" ] || fail "the finished updater was not deleted"
    [ -e "$product/removedor-ran.txt" ] || fail "the remover was not started"
}

# wait_controls WINDOW TEXT...: until the window's controls show every TEXT.
wait_controls() {
    local window=$1 listing text all
    shift
    for _ in $(seq 150); do
        listing=$(drv controls --timeout 2000 "$window" || true)
        all=1
        for text in "$@"; do grep -qF -- "$text" <<<"$listing" || all=0; done
        [ "$all" = 1 ] && return 0
        sleep 0.2
    done
    fail "the window never showed $*; last seen:"$'\n'"$listing"
}

# Ends what the road started, if a failure left it running, and removes the
# copy, the pending deletion and the registry value that the road leaves.
undo_the_road() {
    local pid copy
    for pid in ${pids:-}; do
        timeout 30 wine taskkill /f /pid "$pid" </dev/null >/dev/null 2>&1 || true
    done
    for copy in "$drive"/Atualizador*.exe; do
        [ -e "$copy" ] || continue
        grep -qxF "$(basename "$copy")" <<<"$copies_before" || rm -f "$copy"
    done
    rm -f "$drive/windows/wininit.ini"
    [ ! -e "$work/wininit.before" ] || cp "$work/wininit.before" "$drive/windows/wininit.ini"
    rm -rf "$drive/release-test"
    timeout 60 wine reg delete "$key" /v DB /f </dev/null >/dev/null 2>&1 || true
}

"case_$mode"
