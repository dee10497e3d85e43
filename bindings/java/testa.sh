#!/usr/bin/env bash
# Builds vltxdrv.jar, the test and the example with javac and jar, and runs
# both against vltx-sim. Usage: testa.sh OUT_DIR LIB_DIR VLTX_SIM
set -euo pipefail
AQUI=$(cd "$(dirname "$0")" && pwd)
SAIDA=$1 BIBLIOTECA=$2 SIM=$3
JNA=${JNA_JAR:-/usr/share/java/jna.jar}
for ferramenta in javac jar java; do
    if ! command -v "$ferramenta" >/dev/null; then
        echo "$ferramenta is missing: the Java binding cannot be tested (apt-get install default-jdk-headless)" >&2
        exit 1
    fi
done
if [ ! -r "$JNA" ]; then
    echo "$JNA is missing: the Java binding cannot be tested (apt-get install libjna-java)" >&2
    exit 1
fi
rm -rf "$SAIDA/classes" "$SAIDA/programas"
mkdir -p "$SAIDA/classes" "$SAIDA/programas"
javac -Xlint:all -Werror -encoding UTF-8 -cp "$JNA" -d "$SAIDA/classes" "$AQUI"/src/vltxdrv/*.java
jar --create --file "$SAIDA/vltxdrv.jar" -C "$SAIDA/classes" .
javac -Xlint:all -Werror -encoding UTF-8 -cp "$SAIDA/vltxdrv.jar:$JNA" -d "$SAIDA/programas" \
    "$AQUI/testes/TesteRecibo.java" "$AQUI/exemplos/Recibo.java"
CP=$SAIDA/vltxdrv.jar:$JNA:$SAIDA/programas
# The library by VLTXDRV_LIB for the test; by the loader's path for the example.
VLTXDRV_LIB=$BIBLIOTECA/libvltxdrv.so "$AQUI/../com_simulador.sh" "$SIM" java -cp "$CP" TesteRecibo
LD_LIBRARY_PATH=$BIBLIOTECA "$AQUI/../com_simulador.sh" "$SIM" java -cp "$CP" Recibo | tee "$SAIDA/recibo.out"
grep -q '^LeRegistrador 002 = 33  002000000000000000000000000002$' "$SAIDA/recibo.out"
