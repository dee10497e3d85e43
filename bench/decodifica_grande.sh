#!/usr/bin/env bash
# Time and memory of `vltx log` and `vltx log --summary` on large files: a
# 500 MB diagnostic log as the driver writes it and 200 MB of random bytes.
# The decoder reads the file as a stream, so its memory should stay flat
# whatever the file's size.
#
#   bench/decodifica_grande.sh [BUILD] [OTHER_VLTX...]
#
# BUILD (default build) holds tools/vltx and bench/bench_decodifica, which
# writes the log. The files go to BUILD/decodifica-grande/ and are kept for
# the next run. Each OTHER_VLTX (another build's vltx, an older one say) is
# measured the same way. Set LOG_MB and RANDOM_MB to change the sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
shift || true
VLTX=$BUILD/tools/vltx
GERADOR=$BUILD/bench/bench_decodifica
DIR=$BUILD/decodifica-grande
LOG_MB=${LOG_MB:-500}
RANDOM_MB=${RANDOM_MB:-200}

for programa in "$VLTX" "$GERADOR" "$@"; do
    [ -x "$programa" ] || { echo "missing $programa (build first)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (apt-get install time)" >&2; exit 2; }
mkdir -p "$DIR"
LOG=$DIR/log-${LOG_MB}mb.log
ALEATORIO=$DIR/random-${RANDOM_MB}mb.bin
[ -s "$LOG" ] || "$GERADOR" --write-log "$LOG" "$LOG_MB"
[ -s "$ALEATORIO" ] || head -c "$((RANDOM_MB << 20))" /dev/urandom >"$ALEATORIO"

# One run: wall time, CPU time and peak resident memory, the output thrown away.
mede() { # label program args...
    local rotulo=$1; shift
    local relatorio
    relatorio=$(/usr/bin/time -v "$@" 2>&1 >/dev/null) || { echo "$rotulo: failed" >&2; return 1; }
    printf '%-56s %9s %8.2f s %7d MB\n' "$rotulo" \
        "$(sed -n 's/.*Elapsed (wall clock) time.*: //p' <<<"$relatorio")" \
        "$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' <<<"$relatorio")" \
        "$(( $(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$relatorio") / 1024 ))"
}

printf '%-56s %9s %10s %10s\n' "run" "wall" "CPU" "peak RSS"
for programa in "$VLTX" "$@"; do
    for arquivo in "$LOG" "$ALEATORIO"; do
        mede "$programa log $(basename "$arquivo")" "$programa" log "$arquivo"
        mede "$programa log --summary $(basename "$arquivo")" "$programa" log --summary "$arquivo"
    done
done
