#!/usr/bin/env bash
# The DLL as the Windows loader sees it, read from its headers with objdump:
#   verifica-dll.sh OBJDUMP DLL SIMBOLOS FORMATO
# FORMATO is pei-i386 (the 32-bit DLL) or pei-x86-64. Checks the format, that
# the export table holds exactly the names of SIMBOLOS, undecorated, each
# with its line number there as its ordinal, and that every imported DLL is
# part of Windows. Prints PASS:/FAIL: per check; exits 1 on any failure.
set -uo pipefail
objdump=$1 dll=$2 simbolos=$3 formato=$4
passou=0 falhou=0
ok() { echo "PASS: $*"; passou=$((passou + 1)); }
falha() { echo "FAIL: $*"; falhou=$((falhou + 1)); }

cabecalho=$("$objdump" -p "$dll") || { echo "FAIL: $objdump -p $dll"; exit 1; }

# Format and machine.
case $formato in
    pei-i386) magia='010b' tipo='PE32' maquina='i386' ;;
    pei-x86-64) magia='020b' tipo='PE32+' maquina='i386:x86-64' ;;
    *) echo "FAIL: unknown format $formato"; exit 1 ;;
esac
if grep -q "file format $formato\$" <<<"$cabecalho" && grep -Fq "($tipo)" <<<"$(grep -E "^Magic[[:space:]]+$magia[[:space:]]" <<<"$cabecalho")"; then
    ok "$(basename "$dll") is $tipo ($formato)"
else
    falha "$(basename "$dll") is not $tipo ($formato)"
fi
cabecalhoArquivo=$("$objdump" -f "$dll")
if grep -q "^architecture: $maquina," <<<"$cabecalhoArquivo"; then
    ok "machine $maquina"
else
    falha "machine is not $maquina: $(grep '^architecture' <<<"$cabecalhoArquivo")"
fi
if grep -Eq '^Characteristics .*' <<<"$cabecalho" && grep -q 'DLL$' <<<"$(sed -n '/^Characteristics/,/^$/p' <<<"$cabecalho")"; then
    ok "marked as a DLL"
else
    falha "not marked as a DLL"
fi

# Export table: "[Ordinal/Name Pointer] Table" lists each name with its
# index in the address table; the ordinal is that index plus the base.
base=$(awk '/^Ordinal Base/ {print $3}' <<<"$cabecalho")
mapfile -t exportados < <(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$cabecalho" |
    sed -nE 's/^[[:space:]]*\[[[:space:]]*([0-9]+)\][[:space:]]+(.*)$/\1 \2/p')
mapfile -t nomes < "$simbolos"
if [ "${#exportados[@]}" -eq "${#nomes[@]}" ]; then
    ok "${#exportados[@]} names exported"
else
    falha "${#exportados[@]} names exported, ${#nomes[@]} expected"
fi
if [ "${base:-}" = 1 ]; then ok "ordinal base 1"; else falha "ordinal base is '${base:-none}', not 1"; fi
declare -A ordinalDe=()
for linha in "${exportados[@]}"; do ordinalDe[${linha#* }]=$(( ${linha%% *} + ${base:-0} )); done
erradas=()
for i in "${!nomes[@]}"; do
    nome=${nomes[$i]}
    if [ "${ordinalDe[$nome]:-}" != $((i + 1)) ]; then
        erradas+=("$nome: ${ordinalDe[$nome]:-missing} (want $((i + 1)))")
    fi
done
if [ ${#erradas[@]} -eq 0 ]; then
    ok "every name of $(basename "$simbolos") exported with its ordinal (${nomes[0]} 1 ... ${nomes[-1]} ${#nomes[@]})"
else
    falha "names or ordinals wrong: ${erradas[*]}"
fi
decorados=()
for linha in "${exportados[@]}"; do
    nome=${linha#* }
    [[ $nome =~ ^_|@[0-9]+$ ]] && decorados+=("$nome")
done
# A lookup, not a pipe into grep -q: under pipefail the writer of a pipe
# that grep -q leaves early dies of SIGPIPE, and the name would count as extra.
declare -A esperado=()
for nome in "${nomes[@]}"; do esperado[$nome]=1; done
estranhos=()
for linha in "${exportados[@]}"; do
    nome=${linha#* }
    [ -n "${esperado[$nome]:-}" ] || estranhos+=("$nome")
done
if [ ${#decorados[@]} -eq 0 ] && [ ${#estranhos[@]} -eq 0 ]; then
    ok "no decorated or extra names exported"
else
    falha "decorated or extra names: ${decorados[*]} ${estranhos[*]}"
fi
# Each ordinal leads to the function of its name: the address-table entry
# against the DLL's own symbols ("@Log@C6_4" is the C function vLog_C6_4).
nm=${objdump%objdump}nm
imagem=$((16#$(awk '/^ImageBase/ {print $2}' <<<"$cabecalho")))
declare -A rvaDe=()
while read -r ord rva; do rvaDe[$ord]=$rva; done < <(sed -n '/^Export Address Table/,/^$/p' <<<"$cabecalho" |
    sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*\+base\[[[:space:]]*([0-9]+)\][[:space:]]+([0-9a-f]+) Export RVA.*/\1 \2/p')
declare -A funcoesEm=()
while read -r endereco _ simbolo; do
    simbolo=${simbolo#_}
    funcoesEm[$((16#$endereco))]+=" ${simbolo%@*} "
done < <("$nm" "$dll" 2>/dev/null | awk '$2 == "T"')
desviados=()
for i in "${!nomes[@]}"; do
    nome=${nomes[$i]} rva=${rvaDe[$((i + 1))]:-}
    funcao=${nome/#@Log@/vLog_}
    endereco=$((imagem + 16#${rva:-0}))
    [[ -n $rva && ${funcoesEm[$endereco]:-} == *" $funcao "* ]] || desviados+=("$nome")
done
if [ ${#funcoesEm[@]} -eq 0 ]; then
    falha "no symbols in $(basename "$dll") to follow the ordinals with"
elif [ ${#desviados[@]} -eq 0 ]; then
    ok "every ordinal leads to the function of its name"
else
    falha "ordinals leading elsewhere: ${desviados[*]}"
fi

ordenados=$(printf '%s\n' "${nomes[@]}" | LC_ALL=C sort)
if [ "$ordenados" = "$(printf '%s\n' "${nomes[@]}")" ]; then
    ok "ordinals follow the byte order of the names"
else
    falha "$(basename "$simbolos") is not in byte order"
fi

# Imports: Windows' own DLLs only; the compiler's runtime is linked inside.
mapfile -t importados < <(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$cabecalho")
alheios=()
for d in "${importados[@]}"; do
    case ${d,,} in
        kernel32.dll | advapi32.dll | ws2_32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | ntdll.dll | user32.dll) ;;
        *) alheios+=("$d") ;;
    esac
done
if [ ${#importados[@]} -gt 0 ] && [ ${#alheios[@]} -eq 0 ]; then
    ok "imports only Windows DLLs: ${importados[*]}"
else
    falha "imports DLLs that are not part of Windows: ${alheios[*]:-none imported}"
fi

# The log's texts are code page 1252 bytes, not UTF-8 ("Aplicação": 231, 227).
if LC_ALL=C grep -aq $'RegCloseKey Aplica\xe7\xe3o' "$dll"; then
    ok "log texts in code page 1252"
else
    falha "\"RegCloseKey Aplicação\" is not in code page 1252 in the DLL"
fi

echo "$(basename "$dll"): $passou passed, $falhou failed"
[ "$falhou" -eq 0 ]
