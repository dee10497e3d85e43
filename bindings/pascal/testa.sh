#!/usr/bin/env bash
# Builds the Pascal test and example with fpc and runs both against vltx-sim.
# Usage: testa.sh OUT_DIR LIB_DIR VLTX_SIM
set -euo pipefail
AQUI=$(cd "$(dirname "$0")" && pwd)
SAIDA=$1 BIBLIOTECA=$2 SIM=$3
if ! command -v fpc >/dev/null; then
    echo "fpc is missing: the Pascal binding cannot be tested (apt-get install fpc)" >&2
    exit 1
fi
mkdir -p "$SAIDA"
antes=$(cd "$AQUI" && find . | sort)
for programa in testes/teste_recibo exemplos/recibo; do
    fpc -Mdelphi -vew -Sew -Fu"$AQUI" -Fl"$BIBLIOTECA" -FU"$SAIDA" -FE"$SAIDA" "$AQUI/$programa.pas" >"$SAIDA/fpc.log" 2>&1 ||
        { cat "$SAIDA/fpc.log" >&2; exit 1; }
done
# The unit's .o and .ppu and the programs went to OUT_DIR, nothing to the sources.
if [ "$(cd "$AQUI" && find . | sort)" != "$antes" ]; then
    echo "fpc wrote into the source folder:" >&2
    (cd "$AQUI" && find . | sort) | grep -vxF "$antes" >&2 || true
    exit 1
fi
export LD_LIBRARY_PATH=$BIBLIOTECA
"$AQUI/../com_simulador.sh" "$SIM" "$SAIDA/teste_recibo"
"$AQUI/../com_simulador.sh" "$SIM" "$SAIDA/recibo" | tee "$SAIDA/recibo.out"
grep -q '^LeRegistrador 002 = 33  002000000000000000000000000002$' "$SAIDA/recibo.out"
