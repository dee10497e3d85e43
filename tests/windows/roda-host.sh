#!/usr/bin/env bash
# Runs the host program under Wine against the pseudo-terminal printer:
#   roda-host.sh BUILD_DIR [win64|win32 [NATIVE_DIR]]
# BUILD_DIR is an x86_64 build (win64, under wine64) or an i686 one (win32,
# under Debian's 32-bit Wine, package wine32:i386), with vltxdrv.dll and
# vltxdrv_host.exe in it; NATIVE_DIR holds the native build's impressora_pty
# and perfil_posix (default: VLTXDRV_NATIVOS, else build/tests). A fresh Wine prefix of that kind is made in
# BUILD_DIR/wine and booted once; its COM1 is the slave of the printer's
# pseudo-terminal. The win64 run then compares the project's profile reader
# with GetPrivateProfileStringA (tests/windows/perfil). The host also reaches the
# same printer through ser2net on 127.0.0.1, raw (socket://) and Telnet with
# RFC 2217 (rfc2217://): the printer's "k" kills that server, and the file
# LINHA/religa that the host writes starts it again. Prints PASS:/FAIL: per check.
set -uo pipefail
build=$(cd "$1" && pwd)
arquitetura=${2:-win64}
raiz=$(cd "$(dirname "$0")/../.." && pwd)
export VLTXDRV_NATIVOS=${3:-${VLTXDRV_NATIVOS:-$raiz/build/tests}}
base=$build/wine
linha=$base/linha
passou=0 falhou=0
ok() { echo "PASS: $*"; passou=$((passou + 1)); }
falha() { echo "FAIL: $*"; falhou=$((falhou + 1)); }
fim() {
    echo "wine run: $passou passed, $falhou failed"
    [ "$falhou" -eq 0 ]
    exit
}

# shellcheck source=tests/windows/wine-comum.sh
. "$raiz/tests/windows/wine-comum.sh"
acha_wine "$arquitetura" || fim
if [ ! -f "$build/vltxdrv.dll" ] || [ ! -f "$build/vltxdrv_host.exe" ]; then
    falha "$build holds no vltxdrv.dll and vltxdrv_host.exe"
    fim
fi

export WINEPREFIX=$base/prefixo

impressora=""
servidores=""
roteirizados=()
encerra() {
    local r
    for r in "${roteirizados[@]}"; do kill "$r" 2>/dev/null && wait "$r" 2>/dev/null; done
    roteirizados=()
    [ -n "$impressora" ] && kill "$impressora" 2>/dev/null && wait "$impressora" 2>/dev/null
    impressora=""
    if [ -n "$servidores" ]; then
        touch "$linha/fim"
        [ -s "$linha/ser2net.pid" ] && kill "$(cat "$linha/ser2net.pid")" 2>/dev/null
        wait "$servidores" 2>/dev/null
        servidores=""
    fi
    # The prefix's server goes once its last program has ended.
    timeout 60 "$servidor" -w 2>/dev/null || true
}
trap encerra EXIT

rm -rf "$base"
mkdir -p "$linha"

inicia_impressora "$base" "$linha" || fim
prefixo_com_com1 "$base" || fim

# ser2net in front of the printer's pseudo-terminal, one port raw and one
# RFC 2217, started again each time the host asks for it after the printer
# killed it. "local": a pseudo-terminal has no modem lines.
urls=()
if command -v ser2net >/dev/null && command -v python3 >/dev/null; then
    praw=$(porta_livre) prfc=$(porta_livre)
    cat >"$base/ser2net.yaml" <<FIM
connection: &raw
  accepter: tcp,127.0.0.1,$praw
  connector: serialdev,$(readlink "$base/com1"),9600n81,local
  options:
    kickolduser: true
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$prfc
  connector: serialdev,$(readlink "$base/com1"),9600n81,local
  options:
    kickolduser: true
FIM
    (
        while [ ! -e "$linha/fim" ]; do
            ser2net -n -u -c "$base/ser2net.yaml" -P "$linha/ser2net.pid" >>"$base/ser2net.out" 2>&1
            while [ ! -e "$linha/religa" ] && [ ! -e "$linha/fim" ]; do sleep 0.05; done
            rm -f "$linha/religa"
        done
    ) 2>>"$base/ser2net.out" &
    servidores=$!
    urls=("socket://127.0.0.1:$praw" "rfc2217://127.0.0.1:$prfc")
    # The same printer behind scripted RFC 2217 servers: one that takes every
    # option (CTS from NOTIFY-MODEMSTATE), one that refuses the COM port
    # option, one that never negotiates.
    for modo in roteirizado recusa calado; do
        p=$(porta_livre)
        "$base/impressora_pty" --rfc2217 "$p" "$linha" $([ $modo = roteirizado ] || echo $modo) \
            >>"$base/impressora.out" 2>&1 &
        roteirizados+=($!)
        urls+=("--$modo=rfc2217://127.0.0.1:$p")
        for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && break; sleep 0.1; done
    done
else
    falha "ser2net and python3 are needed for the network lines' checks"
fi

# The host, with the printer's directory as Wine sees it (drive Z is /).
linhaWin="Z:${linha//\//\\}"
(cd "$build" && timeout 240 "$wine" ./vltxdrv_host.exe "$linhaWin" "${urls[@]}") >"$base/host.out" 2>&1
rc=$?
cat "$base/host.out"
passou=$((passou + $(grep -c '^PASS:' "$base/host.out")))
falhou=$((falhou + $(grep -c '^FAIL:' "$base/host.out")))
if [ $rc -ne 0 ] && ! grep -q '^FAIL:' "$base/host.out"; then
    falha "the host program ended with $rc and no failed check (crash or time-out)"
fi

# The project's profile reader against GetPrivateProfileStringA: layout files
# drawn from a fixed seed, every question answered by one Wine process, then
# by the project's reader natively, and every answer compared. The Windows
# reader is the same code in both kinds of prefix; the win64 run asks it.
if [ "$arquitetura" = win64 ]; then
    perfil=$base/perfil
    mkdir -p "$perfil"
    if ! cp "$VLTXDRV_NATIVOS/perfil_posix" "$base/perfil_posix" 2>"$base/perfil.out"; then
        falha "no profile comparison in $VLTXDRV_NATIVOS (the native target perfil_posix)"
    elif ! "$base/perfil_posix" gera "$perfil" 400 15 >"$base/perfil.out" 2>&1; then
        falha "writing the layout files: $(tail -3 "$base/perfil.out")"
    elif ! (cd "$build" && timeout 120 "$wine" ./leitor_windows.exe "Z:${perfil//\//\\}") >"$base/perfil.out" 2>&1; then
        falha "GetPrivateProfileStringA under Wine: $(tail -3 "$base/perfil.out")"
    else
        "$base/perfil_posix" compara "$perfil" >"$base/perfil.out" 2>&1
        rc=$?
        cat "$base/perfil.out"
        passou=$((passou + $(grep -c '^PASS:' "$base/perfil.out")))
        falhou=$((falhou + $(grep -c '^FAIL:' "$base/perfil.out")))
        if [ $rc -ne 0 ] && ! grep -q '^FAIL:' "$base/perfil.out"; then
            falha "the profile comparison ended with $rc and no failed check"
        fi
    fi
fi

# What the driver left in Wine's own files, seen from outside once the
# prefix's server has written its registry out.
kill "$impressora" 2>/dev/null && wait "$impressora" 2>/dev/null
impressora=""
timeout 60 "$servidor" -w
dia=$(LC_ALL=C date +%a)
if [ -s "$WINEPREFIX/drive_c/$dia.log" ]; then
    ok "the day's log is $WINEPREFIX/drive_c/$dia.log"
else
    falha "no $dia.log in the prefix's drive_c: $(ls "$WINEPREFIX/drive_c")"
fi
if grep -xF '"Gerar Log"="1"' <<<"$(grep -A4 -F '[Software\\Corvane\\Veltrix\\V2.60]' "$WINEPREFIX/system.reg")" >/dev/null; then
    ok "system.reg holds [Software\\Corvane\\Veltrix\\V2.60] \"Gerar Log\"=\"1\""
else
    falha "system.reg has no \"Gerar Log\"=\"1\" under Software\\Corvane\\Veltrix\\V2.60"
fi
# A prefix is some 700 MB: it is kept after a failure, for a look inside;
# after a clean run only the driver's files are kept.
if [ "$falhou" -eq 0 ]; then
    cp "$WINEPREFIX/drive_c/"*.log "$WINEPREFIX/system.reg" "$base/" 2>/dev/null
    rm -rf "$WINEPREFIX"
fi
fim
