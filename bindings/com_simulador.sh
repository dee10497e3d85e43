#!/usr/bin/env bash
# Runs a command against a fresh printer simulator: the bindings' tests and
# examples. Usage: com_simulador.sh VLTX_SIM COMMAND [ARG...]
# The command finds the port in VLTX_PORT and the simulator's paper roll in
# VLTX_PAPER (flushed after every command); the driver's log directory and
# settings store are the session's own. Exits with the command's status.
set -uo pipefail
SIM_BIN=$1
shift
DIR=$(mktemp -d /tmp/vltx-binding-XXXXXX)
SIM=
termina() {
    if [ -n "$SIM" ]; then
        kill "$SIM" 2>/dev/null
        wait "$SIM" 2>/dev/null
    fi
    rm -rf "$DIR"
}
trap termina EXIT

export VLTXDRV_DRIVE_C=$DIR/c VLTXDRV_REGISTRY=$DIR/registry
export VLTX_PORT=$DIR/ecf0 VLTX_PAPER=$DIR/papel.txt
# The simulator prints its slave's path once its link is there.
mkfifo "$DIR/sim.out"
"$SIM_BIN" --link "$VLTX_PORT" --paper "$VLTX_PAPER" >"$DIR/sim.out" 2>"$DIR/sim.err" &
SIM=$!
exec 3<"$DIR/sim.out"
if ! read -r -t 5 -u 3 _; then
    echo "vltx-sim did not start:" >&2
    cat "$DIR/sim.err" >&2
    exit 1
fi
"$@"
rc=$?
if [ "$rc" -ne 0 ]; then
    echo "--- the paper roll ($VLTX_PAPER):" >&2
    cat "$VLTX_PAPER" >&2
fi
exit "$rc"
