#!/usr/bin/env bash
# Builds Vltxdrv.Net.dll (the managed assembly: a name that cannot clash
# with the native vltxdrv.dll on a case-insensitive file system), the test and the example with mcs and runs both under
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
mcs -warnaserror -nologo -target:library -out:"$SAIDA/Vltxdrv.Net.dll" "$AQUI"/*.cs
mcs -warnaserror -nologo -r:"$SAIDA/Vltxdrv.Net.dll" -out:"$SAIDA/TesteRecibo.exe" "$AQUI/testes/TesteRecibo.cs"
mcs -warnaserror -nologo -r:"$SAIDA/Vltxdrv.Net.dll" -out:"$SAIDA/Recibo.exe" "$AQUI/exemplos/Recibo.cs"
# The test through the shipped dllmap (the runtime library's SONAME, found on
# the loader's path); the example through a dllmap naming the file itself.
# The loader's path holds libvltxdrv.so.2 alone, as the runtime package does.
cp "$AQUI/Vltxdrv.Net.dll.config" "$SAIDA/"
rm -rf "$SAIDA/so2" && mkdir "$SAIDA/so2"
ln -s "$(cd "$BIBLIOTECA" && pwd)/libvltxdrv.so.2" "$SAIDA/so2/libvltxdrv.so.2"
LD_LIBRARY_PATH=$SAIDA/so2 "$AQUI/../com_simulador.sh" "$SIM" mono "$SAIDA/TesteRecibo.exe"
printf '<configuration>\n  <dllmap dll="vltxdrv" target="%s/libvltxdrv.so"/>\n</configuration>\n' "$BIBLIOTECA" >"$SAIDA/Vltxdrv.Net.dll.config"
"$AQUI/../com_simulador.sh" "$SIM" mono "$SAIDA/Recibo.exe" | tee "$SAIDA/recibo.out"
grep -q '^LeRegistrador 002 = 33  002000000000000000000000000002$' "$SAIDA/recibo.out"
