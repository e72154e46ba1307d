#!/usr/bin/env bash
# Shows an update from end to end on a sandbox Wine prefix: an installed
# database of an older version under "C:\Program Files\Holmcrest\Varnel R40",
# its registry value, a stand-in remover, and the new package beside
# Atualizador.exe in C:\Atualizacao.
#
# With a display ($DISPLAY set, not CI) the wizard opens for you to walk
# through. Without one it runs on a private Xvfb, is walked through by the UI
# driver, and leaves a screenshot of every step in build/demo/.
# Either way it ends by printing what changed on disk.
#
# Build folders: $DEMO_WINDOWS_BUILD (default build/windows) and
# $DEMO_NATIVE_BUILD (default build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/bootstrap.sh

winbuild=${DEMO_WINDOWS_BUILD:-build/windows}
natbuild=${DEMO_NATIVE_BUILD:-build/native}
jobs=${JOBS:-2}
echo "demo: building (this takes a few minutes the first time)"
cmake --preset windows -B "$winbuild" >/dev/null
cmake --build "$winbuild" -j "$jobs" --target Atualizador uidriver_cli removedor_standin xdbtool
cmake --preset native -B "$natbuild" >/dev/null
cmake --build "$natbuild" -j "$jobs" --target xdbtool

exe=$root/$winbuild/Atualizador.exe
driver=$root/$winbuild/tests/e2e/driver/uidriver.exe
removedor=$root/$winbuild/tests/e2e/standins/removedor.exe
xdbtool=$root/$natbuild/tools/xdbtool
winxdbtool=$root/$winbuild/tools/xdbtool.exe
demo=$root/build/demo

# A fresh sandbox every time: its own prefix, server and Xvfb.
export ATUALIZADOR_BENCH=$demo/bench
if [ -d "$ATUALIZADOR_BENCH" ]; then scripts/wine-bench.sh down >/dev/null 2>&1 || true; fi
rm -rf "$demo"
mkdir -p "$demo"
trap 'scripts/wine-bench.sh down >/dev/null 2>&1 || true' EXIT
userDisplay=${DISPLAY:-}
eval "$(scripts/wine-bench.sh env)"

drive=$WINEPREFIX/drive_c
product="$drive/Program Files/Holmcrest/Varnel R40"
update=$drive/Atualizacao
installed='C:\Program Files\Holmcrest\Varnel R40\db.xdb'
mkdir -p "$product" "$update"
# The keys of the portable provider stay in the sandbox too.
export ATUALIZADOR_KEYS_DIR=$demo/keys
"$xdbtool" pack --version XDB0041 --records 1150 -o "$product/db.xdb" >/dev/null
"$xdbtool" pack --version XDB0042 --records 1203 -o "$update/db.xdb" >/dev/null
cp "$removedor" "$product/removedor.exe"
cp "$exe" "$update/Atualizador.exe"
timeout 60 wine reg add 'HKLM\SOFTWARE\Holmcrest\Varnel R40' /v DB /t REG_SZ /d "$installed" /f \
    </dev/null >/dev/null 2>&1

# The Windows tool reads the package with the system's own cipher. Making a
# signature key also makes the Windows user's key container, whose first use
# the updater would otherwise announce in a box.
echo "  Windows reads the package as: $(timeout 60 wine "$winxdbtool" info 'C:\Atualizacao\db.xdb' \
    </dev/null 2>/dev/null | tr -d '\r' | tr '\n' ' ')"
timeout 120 wine "$winxdbtool" keygen --bits 1024 </dev/null >/dev/null 2>&1 || true

before() { echo "  installed: $("$xdbtool" info "$product/db.xdb" 2>&1 | tr '\n' ' ')"; }
echo "demo: sandbox ready in $WINEPREFIX"
echo "  registry: HKLM\\SOFTWARE\\Holmcrest\\Varnel R40  DB = $installed"
before
echo "  package:  $("$xdbtool" info "$update/db.xdb" 2>&1 | tr '\n' ' ')"

drive_() { timeout 60 wine "$driver" "$@" </dev/null 2>>"$demo/driver.log" | tr -d '\r'; }
shot() {  # shot NAME: the screen, cut down to the windows on the desktop
    sleep 0.5
    local png=$demo/$1.png desktop
    timeout 30 import -window root "$png"
    desktop=$(convert "$png" -format '%[pixel:p{w-1,h-1}]' info:)
    convert "$png" -bordercolor "$desktop" -border 1 -fuzz 3% -trim +repage "$png"
    echo "  screenshot: build/demo/$1.png"
}
wait_text() {  # wait_text WINDOW CONTROL PREFIX
    for _ in $(seq 150); do
        case "$(drive_ text "$1" "$2")" in "$3"*) return 0 ;; esac
        sleep 0.2
    done
    echo "demo: timed out waiting for \"$3\"" >&2
    exit 1
}

wizard='class:AtualizadorWizard'
if [ -n "$userDisplay" ] && [ -z "${CI:-}" ]; then
    echo "demo: opening the wizard on $userDisplay; close it to see what changed"
    DISPLAY=$userDisplay DEMO_INTERACTIVE=1 timeout 1800 wine 'C:\Atualizacao\Atualizador.exe' \
        </dev/null >/dev/null 2>&1 || true
    # The cleanup copy lives on after the wizard; let the person finish it.
    timeout 1900 wine "$driver" wait-gone 'class:AtualizadorWait' --timeout 1800000 \
        </dev/null >/dev/null 2>>"$demo/driver.log" || true
else
    echo "demo: no display; walking the wizard on Xvfb"
    # Not through a pipe: the program would hold it open for its whole life.
    timeout 60 wine start 'C:\Atualizacao\Atualizador.exe' </dev/null >/dev/null 2>&1
    drive_ wait-window "$wizard" >/dev/null
    shot 1-inicio
    drive_ click "$wizard" '#112'                       # Prosseguir
    wait_text "$wizard" '#120' 'Versão instalada'
    shot 2-verificacao
    drive_ click "$wizard" '#112'                       # Prosseguir
    wait_text "$wizard" '#118' 'O Banco de Dados foi atualizado'
    shot 3-instalado
    drive_ click "$wizard" '#112'                       # Finalizar
    drive_ wait-window 'class:AtualizadorWait' >/dev/null
    shot 4-limpeza
    drive_ msgbox --timeout 30000 >/dev/null            # "Reinicialização", once deleted
    shot 5-reinicializacao
    drive_ msgbox 2 >/dev/null                          # Cancelar: restart later
    drive_ wait-gone 'class:AtualizadorWait' >/dev/null
fi

echo "demo: what changed on disk"
before
for f in "$update/db.xdb" "$update/Atualizador.exe"; do
    [ -e "$f" ] && echo "  still there: C:/${f#"$drive"/}" || echo "  deleted:     C:/${f#"$drive"/}"
done
for f in "$drive"/Atualizador*.exe; do
    [ -e "$f" ] && echo "  cleanup copy, deleted at the next start of Windows: C:/${f#"$drive"/}"
done
[ -e "$product/removedor-ran.txt" ] &&
    echo "  remover started: $(cat "$product/removedor-ran.txt")"
if [ -e "$drive/windows/wininit.ini" ]; then
    echo "  C:/windows/wininit.ini:"
    sed 's/^/    /' "$drive/windows/wininit.ini" | tr -d '\r'
fi
