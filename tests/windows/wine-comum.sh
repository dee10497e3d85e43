# What the Wine runs share (sourced by roda-host.sh and kit/testa-kit.sh,
# which define ok and falha): finding Debian's Wine, the pseudo-terminal
# printer, and a fresh prefix whose COM1 is that printer.

# Debian's wine64 and wine32:i386 packages: the loaders and the servers under
# /usr/lib/wine (either server serves a prefix of either kind). Sets wine and
# servidor, exports the environment of a quiet run; false when missing.
acha_wine() { # win64|win32
    local pacote
    case $1 in
    win64)
        pacote=wine64
        wine=$(command -v wine64 || true)
        [ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
        ;;
    win32)
        pacote=wine32:i386
        wine=""
        [ -x /usr/lib/wine/wine ] && wine=/usr/lib/wine/wine
        ;;
    *)
        falha "unknown Wine architecture '$1' (win64 or win32)"
        return 1
        ;;
    esac
    servidor=$(command -v wineserver || true)
    local s
    [ -n "$servidor" ] || for s in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver; do
        [ -x "$s" ] && { servidor=$s; break; }
    done
    if [ -z "$wine" ] || [ -z "$servidor" ]; then
        falha "the $1 Wine is not installed (package $pacote)"
        return 1
    fi
    export WINEARCH=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINESERVER=$servidor
    unset DISPLAY WAYLAND_DISPLAY
}

# The printer (tests/windows/impressora: the native build's target impressora_pty,
# in VLTXDRV_NATIVOS) on a new pseudo-terminal whose slave BASE/com1 links
# to; it keeps its frames and reads its scripts in LINHA. Sets impressora to
# its pid.
inicia_impressora() { # BASE LINHA
    local base=$1 linha=$2
    local nativos=${VLTXDRV_NATIVOS:-$raiz/build/tests}
    if [ ! -x "$nativos/impressora_pty" ]; then
        falha "no pseudo-terminal printer in $nativos: build the native target impressora_pty (cmake --build --preset default --target impressora_pty)"
        return 1
    fi
    cp "$nativos/impressora_pty" "$base/impressora_pty"
    "$base/impressora_pty" "$base/com1" "$linha" >"$base/impressora.out" 2>&1 &
    impressora=$!
    local _
    for _ in $(seq 50); do [ -L "$base/com1" ] && break; sleep 0.1; done
    if [ ! -L "$base/com1" ]; then
        falha "the pseudo-terminal printer did not start: $(cat "$base/impressora.out")"
        return 1
    fi
}

# A fresh prefix in $WINEPREFIX whose COM1 is BASE/com1, set before any
# program could open COM1. Wine's mount manager rewrites dosdevices/com1 at
# every start from its scan of /dev/ttyS* unless the registry names the
# port's device, so COM1 is set there, and the prefix restarted so that the
# link is made anew. Nothing here opens a COM port (wineboot does not).
prefixo_com_com1() { # BASE
    local base=$1 inicio com1
    inicio=$(date +%s)
    if ! timeout 120 "$wine" wineboot --init >"$base/wineboot.out" 2>&1; then
        falha "wineboot of a fresh prefix: $(tail -3 "$base/wineboot.out")"
        return 1
    fi
    timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$base/com1" /f >/dev/null 2>&1
    timeout 60 "$servidor" -w
    # Any program starts the mount manager again; this one also shows the link.
    timeout 60 "$wine" cmd /c exit >/dev/null 2>&1
    com1=$(readlink "$WINEPREFIX/dosdevices/com1")
    if [ "$com1" = "$base/com1" ]; then
        ok "fresh $WINEARCH prefix in $(($(date +%s) - inicio)) s, COM1 is the printer's pseudo-terminal ($(readlink "$base/com1"))"
    else
        falha "COM1 of the prefix leads to '$com1', not to the printer"
        return 1
    fi
}

# A TCP port of 127.0.0.1 that nothing listens on now.
porta_livre() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
