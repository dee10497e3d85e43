#!/usr/bin/env bash
# Every binding's meaning function says the same words for the same number:
# each language prints its meaning(code) for -1 to 256 (and, where it has one,
# meaning(export, code) for every export), and each listing must equal what
# vltx-ref says from the driver's tables.
# Usage: significados.sh OUT_DIR LIB_DIR VLTX_REF
set -euo pipefail
AQUI=$(cd "$(dirname "$0")" && pwd)
SAIDA=$1 BIBLIOTECA=$2 REF=$3
rm -rf "$SAIDA" && mkdir -p "$SAIDA"
mapfile -t EXPORTACOES < <(sed -n 's/^    "\(@\?[A-Za-z_@0-9]*\)": Export($/\1/p' "$AQUI/python/vltxdrv/_exports.py")
[ "${#EXPORTACOES[@]}" -eq 54 ] || { echo "found ${#EXPORTACOES[@]} exports, not 54" >&2; exit 1; }
"$REF" --meanings "${EXPORTACOES[@]}" >"$SAIDA/esperado.txt"
grep -v $'^[^\t]*\t[^\t]*\t' "$SAIDA/esperado.txt" >"$SAIDA/esperado-codigos.txt"
falhas=0
confere() {  # language file expected
    if ! cmp -s "$3" "$2"; then
        echo "$1: its meaning function differs from the driver's tables:" >&2
        diff "$3" "$2" | head -n 10 >&2
        falhas=$((falhas + 1))
    else
        echo "$1: $(wc -l <"$2") meanings as the tables say"
    fi
}

# Python
PYTHONPATH=$AQUI/python python3 - "${EXPORTACOES[@]}" >"$SAIDA/python.txt" <<'PY'
import sys
import vltxdrv
for c in range(-1, 257):
    print(f"{c}\t{vltxdrv.meaning(c) or ''}")
for e in sys.argv[1:]:
    for c in range(-1, 257):
        print(f"{e}\t{c}\t{vltxdrv.meaning(e, c) or ''}")
PY
confere python "$SAIDA/python.txt" "$SAIDA/esperado.txt"

# Java: Codes needs no JNA.
mkdir -p "$SAIDA/java"
cat >"$SAIDA/java/Significados.java" <<'JAVA'
import vltxdrv.Codes;

public class Significados {
    static String nz(String s) { return s == null ? "" : s; }
    public static void main(String[] args) {
        StringBuilder b = new StringBuilder();
        for (int c = -1; c <= 256; ++c) b.append(c).append('\t').append(nz(Codes.meaning(c))).append('\n');
        for (String e : args)
            for (int c = -1; c <= 256; ++c)
                b.append(e).append('\t').append(c).append('\t').append(nz(Codes.meaning(e, c))).append('\n');
        System.out.print(b);
    }
}
JAVA
javac -Werror -d "$SAIDA/java" "$AQUI/java/src/vltxdrv/Codes.java" "$SAIDA/java/Significados.java"
java -cp "$SAIDA/java" Significados "${EXPORTACOES[@]}" >"$SAIDA/java.txt"
confere java "$SAIDA/java.txt" "$SAIDA/esperado.txt"

# C#
cat >"$SAIDA/Significados.cs" <<'CS'
using System;
using System.Text;
using Vltxdrv;

static class Significados
{
    static void Main(string[] args)
    {
        var b = new StringBuilder();
        for (int c = -1; c <= 256; ++c) b.Append(c).Append('\t').Append(Codes.Meaning(c) ?? "").Append('\n');
        foreach (string e in args)
            for (int c = -1; c <= 256; ++c)
                b.Append(e).Append('\t').Append(c).Append('\t').Append(Codes.Meaning(e, c) ?? "").Append('\n');
        Console.Out.Write(b.ToString());
    }
}
CS
mcs -warnaserror -nologo -out:"$SAIDA/Significados.exe" "$AQUI"/dotnet/*.cs "$SAIDA/Significados.cs"
mono "$SAIDA/Significados.exe" "${EXPORTACOES[@]}" >"$SAIDA/dotnet.txt"
confere C# "$SAIDA/dotnet.txt" "$SAIDA/esperado.txt"

# Pascal: VltxSignificado(code) only.
cat >"$SAIDA/significados.pas" <<'PAS'
program significados;
uses vltxdrv;
var
  c: Int32;
begin
  for c := -1 to 256 do
    WriteLn(c, #9, VltxSignificado(c));
end.
PAS
fpc -Mdelphi -vew -Sew -Fu"$AQUI/pascal" -Fl"$BIBLIOTECA" -FU"$SAIDA" -FE"$SAIDA" "$SAIDA/significados.pas" >"$SAIDA/fpc.log" 2>&1 ||
    { cat "$SAIDA/fpc.log" >&2; exit 1; }
LD_LIBRARY_PATH=$BIBLIOTECA "$SAIDA/significados" >"$SAIDA/pascal.txt"
confere Pascal "$SAIDA/pascal.txt" "$SAIDA/esperado-codigos.txt"

[ "$falhas" -eq 0 ]
