#!/usr/bin/env bash
# ./run demo: a whole point-of-sale session through libvltxdrv.so, against
# the printer simulator. Usage: tools/demo.sh [BUILD_DIR]   (default: build)
# VLTX_DEMO_KEEP=1 keeps the session's directory (log, paper roll, readouts).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BIN=$BUILD/tools
LIB=$BUILD/libvltxdrv.so

if [ ! -x "$BIN/vltx" ] || [ ! -x "$BIN/vltx-sim" ] || [ ! -e "$LIB" ]; then
    echo "building the library and the tools in $BUILD ..."
    cmake -S . -B "$BUILD" >/dev/null && cmake --build "$BUILD" --target vltxdrv vltx vltx-sim || exit 1
fi

DIR=$(mktemp -d /tmp/vltx-demo-XXXXXX)
SIM=
termina() {
    if [ -n "$SIM" ]; then
        kill "$SIM" 2>/dev/null
        wait "$SIM" 2>/dev/null
    fi
    if [ "${VLTX_DEMO_KEEP:-0}" = 1 ]; then echo "session files kept in $DIR"; else rm -rf "$DIR"; fi
}
trap termina EXIT
trap 'exit 130' INT TERM

# The driver's log directory and settings store, for this session only.
export VLTXDRV_DRIVE_C=$DIR/c VLTXDRV_REGISTRY=$DIR/registry
LINK=$DIR/ecf0
vltx() { "$BIN/vltx" --port "$LINK" --lib "$LIB" "$@"; }
titulo() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
[ -t 1 ] || titulo() { printf '\n== %s\n' "$*"; }

# The simulator prints its slave's path once its link is there; one poll
# answered 10 after the X report makes the driver wait once (about 16 s).
mkfifo "$DIR/sim.out"
"$BIN/vltx-sim" --link "$LINK" --paper "$DIR/papel.txt" --polls 1 --pause 100 >"$DIR/sim.out" 2>"$DIR/sim.err" &
SIM=$!
exec 3<"$DIR/sim.out"
if ! read -r -t 5 -u 3 ESCRAVO; then
    echo "vltx-sim did not start:" >&2
    cat "$DIR/sim.err" >&2
    exit 1
fi
inicio=$SECONDS
titulo "vltx-sim answers on $ESCRAVO (link $LINK); the library is $LIB"

titulo "1. The diagnostic log on: LogSerial 1, remembered when the port closes"
vltx LogSerial 1

titulo "2. A receipt: header, three items, item discount, cancelled item, subtotal discount, buyer, two payments, promotion, closing"
vltx --script - <<'EOF'
ImprimeCabecalho
VendaItem 7891234567895 "CAFE TORRADO 500G" 1000 1590 T1 UN 2
VendaItem 7896005800010 "LEITE INTEGRAL 1L" 2000 459 T2 UN 2
VendaItem 7891000100103 "ACUCAR REFINADO 1KG" 1000 389 T1 KG 2
DescontoItem D "DESC CAFE" 100
CancelaItem 002
DescontoSubtotal "DESC CLUB" 50
IdComprador "MARIA DE SOUZA" F 12345678909 "RUA DAS FLORES, 100" "SAO PAULO - SP"
Pagamento 01 DINHEIRO 1000
Pagamento 02 CARTAO 729
Propaganda "OBRIGADO PELA PREFERENCIA - VOLTE SEMPRE"
FechaCupom CAIXA01
EOF

titulo "3. An X report, with the wait for the printer (the simulator is busy for one poll: about 16 s)"
vltx Relatorio_XZ 1

titulo "4. A linked slip for the card payment"
SLIP=$(printf '%-40s' "COMPROVANTE DE PAGAMENTO COM CARTAO" "CARTAO CREDITO ****1234" "VALOR R\$ 7,29" "" "ASSINATURA: ______________________")
vltx Vinculado 02 CARTAO 729 "CREDITO A VISTA" 1 "$SLIP" 01 01

titulo "5. A register read (register 1: receipts, 2: items, in this simulator)"
vltx LeRegistrador 001 LeRegistrador 002

titulo "6. A fiscal readout into a file"
vltx LeECF 4 01012026 31012026 0 "$DIR/leitura.txt"
if [ -s "$DIR/leitura.txt" ]; then
    echo "-- $DIR/leitura.txt, first and last lines (CR LF line ends; the first byte is the status byte):"
    tr -d '\r\000' <"$DIR/leitura.txt" >"$DIR/leitura.lf"
    head -n 4 "$DIR/leitura.lf"
    echo "..."
    tail -n 2 "$DIR/leitura.lf" | cat -v
fi

titulo "7. A cheque from the sample layouts in tools/exemplo/cheque.ini"
vltx ImprimeCheque 1.234,56 "JOAO DA SILVA" "SAO PAULO" "PAGAMENTO FORNECEDOR" 070126 "" "" MODELO_BASICO tools/exemplo/cheque.ini
if [ $? -eq 3 ]; then echo "(this build has no ecf_ImprimeCheque yet: the demo goes on without the cheque)"; fi

titulo "8. The CMC-7 line of a cheque"
vltx LeCMC7 "$DIR/cmc7.txt"
if [ -s "$DIR/cmc7.txt" ]; then echo "-- $DIR/cmc7.txt: $(cat -v "$DIR/cmc7.txt")"; fi

kill "$SIM" 2>/dev/null
wait "$SIM" 2>/dev/null
SIM=
exec 3<&-

titulo "The paper roll the simulator printed"
cat "$DIR/papel.txt"

titulo "The diagnostic log, decoded (vltx log)"
for log in "$DIR"/c/*.log; do
    echo "-- $log"
    "$BIN/vltx" log "$log"
done

titulo "Done in $((SECONDS - inicio)) s"
