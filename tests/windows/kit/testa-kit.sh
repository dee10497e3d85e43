#!/usr/bin/env bash
# The Windows kit as a Windows developer gets it:
#   testa-kit.sh KIT.zip WORK_DIR win64|win32...
# For each Wine (win64 tries the x64 directory, win32 the x86 one): the kit
# unzipped into WORK_DIR/ARCH, a fresh prefix whose COM1 is the
# pseudo-terminal printer (set before anything opens a port), then, from the
# kit's files only:
#   - examples/recibo.c built with mingw against include/vltxdrv.h and each
#     import library, -Wall -Wextra -Werror (no warning at all);
#   - vltxdrv.lib read with llvm-nm and llvm-readobj: every export, on x86
#     under its decorated name with the import name undecorated;
#   - both hosts and vltx.exe printing the receipt through socket:// against
#     vltx-sim.exe --tcp, checked on the simulator's paper roll;
#   - the same through COM1 against the pseudo-terminal printer, checked on
#     the frames it received.
# Prints PASS:/FAIL: per check; exits 1 on any failure.
set -uo pipefail
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mkdir -p "$2"
trabalho=$(cd "$2" && pwd)
shift 2
raiz=$(cd "$(dirname "$0")/../../.." && pwd)
passou=0 falhou=0
ok() { echo "PASS: $*"; passou=$((passou + 1)); }
falha() { echo "FAIL: $*"; falhou=$((falhou + 1)); }
# shellcheck source=tests/windows/wine-comum.sh
. "$raiz/tests/windows/wine-comum.sh"

impressora="" simulador=""
encerra() {
    [ -n "$simulador" ] && kill "$simulador" 2>/dev/null && wait "$simulador" 2>/dev/null
    [ -n "$impressora" ] && kill "$impressora" 2>/dev/null && wait "$impressora" 2>/dev/null
    simulador="" impressora=""
    [ -n "${servidor:-}" ] && timeout 60 "$servidor" -w 2>/dev/null
    return 0
}
trap encerra EXIT

# The frames a run left in the printer's file whose command is CODE (hex of "ESC f CODE").
quadros_de() { # LINHA CODE
    local hex
    hex=1b66$(printf '%s' "$2" | od -An -tx1 | tr -d ' \n')
    grep -c "^$hex" "$1/quadros" 2>/dev/null || true
}

testa() { # win64|win32
    local arq=$1 dir triplet tipo
    if [ "$arq" = win64 ]; then dir=x64 triplet=x86_64-w64-mingw32; else dir=x86 triplet=i686-w64-mingw32; fi
    echo "== the kit's $dir directory under $arq Wine"
    local base=$trabalho/$arq
    rm -rf "$base"
    mkdir -p "$base/linha"
    if ! unzip -q "$zip" -d "$base/kit"; then
        falha "unzip $zip"
        return
    fi
    local k
    k=$(echo "$base"/kit/vltxdrv-*-windows)
    acha_wine "$arq" || return
    export WINEPREFIX=$base/prefixo
    inicia_impressora "$base" "$base/linha" || return
    prefixo_com_com1 "$base" || return

    # The C host against the header and each import library.
    local hosts=() lib exe
    for lib in libvltxdrv.dll.a vltxdrv.lib; do
        exe=$k/$dir/recibo-${lib%%.*}.exe
        if "$triplet-gcc" -std=c99 -Wall -Wextra -Werror -pedantic -I"$k/include" "$k/examples/recibo.c" \
            "$k/$dir/$lib" -o "$exe" >"$base/cc.out" 2>&1 && [ ! -s "$base/cc.out" ]; then
            ok "$dir: recibo.c built with $triplet-gcc against vltxdrv.h and $lib, no warnings"
            hosts+=("$exe")
        else
            falha "$dir: recibo.c against $lib: $(head -5 "$base/cc.out")"
        fi
    done
    local nomes decorados simbolos
    simbolos=$(llvm-nm "$k/$dir/vltxdrv.lib" 2>/dev/null)
    nomes=$(grep -c ' T [_]*ecf_' <<<"$simbolos" || true)
    if [ "$dir" = x86 ]; then
        decorados=$(grep -cE ' T _ecf_[A-Za-z0-9_]+@[0-9]+$' <<<"$simbolos" || true)
        tipo=$(llvm-readobj "$k/$dir/vltxdrv.lib" 2>/dev/null | grep -c 'Name type: undecorate' || true)
        if [ "$nomes" -eq 52 ] && [ "$decorados" -eq 52 ] && [ "$tipo" -eq 52 ] &&
            grep -q ' T _ecf_InicializaDLL@4$' <<<"$simbolos"; then
            ok "x86/vltxdrv.lib: the 52 C-named exports as _name@N (_ecf_InicializaDLL@4), each imported undecorated"
        else
            falha "x86/vltxdrv.lib: $nomes symbols, $decorados decorated, $tipo with the import name undecorated (52 each)"
        fi
    elif [ "$nomes" -eq 52 ]; then
        ok "x64/vltxdrv.lib: the 52 C-named exports"
    else
        falha "x64/vltxdrv.lib: $nomes exports, not 52"
    fi

    # Through socket:// against the kit's simulator.
    local porta rolo rc saida
    porta=$(porta_livre)
    rolo=$base/rolo.txt
    (cd "$k/$dir" && exec "$wine" vltx-sim.exe --tcp "127.0.0.1:$porta" --paper "Z:${rolo//\//\\}") \
        >"$base/sim.out" 2>&1 &
    simulador=$!
    local _
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$porta") 2>/dev/null && break
        sleep 0.1
    done
    local url=socket://127.0.0.1:$porta vendas=0
    for exe in "${hosts[@]}"; do
        saida=$(cd "$k/$dir" && timeout 60 "$wine" "$(basename "$exe")" "$url" 2>&1)
        rc=$?
        if [ $rc -eq 0 ] && grep -q '^register 002 ' <<<"$saida"; then
            ok "$dir: $(basename "$exe") prints the receipt through $url"
            vendas=$((vendas + 2))
        else
            falha "$dir: $(basename "$exe") through $url ended with $rc: $(tail -3 <<<"$saida")"
        fi
    done
    saida=$(cd "$k/$dir" && timeout 60 "$wine" vltx.exe --check --port "$url" --script '..\examples\recibo.vltx' 2>&1)
    rc=$?
    if [ $rc -eq 0 ] && grep -q '^= 33  answer "002' <<<"$saida"; then
        ok "$dir: vltx.exe --check runs examples/recibo.vltx through $url"
        vendas=$((vendas + 2))
    else
        falha "$dir: vltx.exe through $url ended with $rc: $(tail -3 <<<"$saida")"
    fi
    kill "$simulador" 2>/dev/null
    wait "$simulador" 2>/dev/null
    simulador=""
    local itens fechados
    itens=$(grep -c '^\[05\] venda de item' "$rolo" 2>/dev/null || true)
    fechados=$(grep -c '^     receipt closed' "$rolo" 2>/dev/null || true)
    if [ "$vendas" -gt 0 ] && [ "$itens" -eq "$vendas" ] && [ "$fechados" -eq $((vendas / 2)) ] &&
        grep -q 'descricao   LEITE 1L' "$rolo"; then
        ok "$dir: the simulator's roll holds the $fechados receipts, $itens items"
    else
        falha "$dir: the roll holds $itens items and $fechados closed receipts for $vendas items sold ($rolo)"
    fi

    # Through COM1, the pseudo-terminal printer.
    for exe in "${hosts[@]:0:1}"; do
        saida=$(cd "$k/$dir" && timeout 60 "$wine" "$(basename "$exe")" COM1 2>&1)
        rc=$?
        if [ $rc -eq 0 ] && grep -q '^register 002 ' <<<"$saida"; then
            ok "$dir: $(basename "$exe") prints the receipt through COM1"
        else
            falha "$dir: $(basename "$exe") through COM1 ended with $rc: $(tail -3 <<<"$saida")"
        fi
    done
    saida=$(cd "$k/$dir" && timeout 60 "$wine" vltx.exe --check --port COM1 --script '..\examples\recibo.vltx' 2>&1)
    rc=$?
    [ $rc -eq 0 ] && ok "$dir: vltx.exe --check runs examples/recibo.vltx through COM1" ||
        falha "$dir: vltx.exe through COM1 ended with $rc: $(tail -3 <<<"$saida")"
    local v f
    v=$(quadros_de "$base/linha" 05) f=$(quadros_de "$base/linha" 09)
    if [ "$v" -eq 4 ] && [ "$f" -eq 2 ]; then
        ok "$dir: the printer on COM1 received the two receipts' frames (4 items, 2 closings)"
    else
        falha "$dir: the printer on COM1 received $v item frames and $f closings, not 4 and 2"
    fi
    encerra
    # A prefix is some 700 MB: kept only after a failure.
    [ "$falhou" -eq 0 ] && rm -rf "$WINEPREFIX"
}

for a in "$@"; do testa "$a"; done
echo "kit: $passou passed, $falhou failed"
[ "$falhou" -eq 0 ]
