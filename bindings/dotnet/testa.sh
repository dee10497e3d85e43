#!/usr/bin/env bash
# Builds Vltxdrv.dll, the test and the example with mcs and runs both under
# mono against vltx-sim. Usage: testa.sh OUT_DIR LIB_DIR VLTX_SIM
set -euo pipefail
AQUI=$(cd "$(dirname "$0")" && pwd)
SAIDA=$1 BIBLIOTECA=$2 SIM=$3
for ferramenta in mcs mono; do
    if ! command -v "$ferramenta" >/dev/null; then
        echo "$ferramenta is missing: the C# binding cannot be tested (apt-get install mono-mcs mono-runtime)" >&2
        exit 1
    fi
done
mkdir -p "$SAIDA"
mcs -warnaserror -nologo -target:library -out:"$SAIDA/Vltxdrv.dll" "$AQUI"/*.cs
mcs -warnaserror -nologo -r:"$SAIDA/Vltxdrv.dll" -out:"$SAIDA/TesteRecibo.exe" "$AQUI/testes/TesteRecibo.cs"
mcs -warnaserror -nologo -r:"$SAIDA/Vltxdrv.dll" -out:"$SAIDA/Recibo.exe" "$AQUI/exemplos/Recibo.cs"
# The library by the loader's path for the test; by a dllmap for the example.
rm -f "$SAIDA/Vltxdrv.dll.config"
LD_LIBRARY_PATH=$BIBLIOTECA "$AQUI/../com_simulador.sh" "$SIM" mono "$SAIDA/TesteRecibo.exe"
printf '<configuration>\n  <dllmap dll="vltxdrv" target="%s/libvltxdrv.so"/>\n</configuration>\n' "$BIBLIOTECA" >"$SAIDA/Vltxdrv.dll.config"
"$AQUI/../com_simulador.sh" "$SIM" mono "$SAIDA/Recibo.exe" | tee "$SAIDA/recibo.out"
grep -q '^LeRegistrador 002 = 33  002000000000000000000000000002$' "$SAIDA/recibo.out"
