#!/bin/sh
# The README's way on Debian 12, without a network: the wheel built by
# wheel.sh installs into a plain venv (python3 -m venv), and the installed
# copy, not the tree's, prints the driver's version. The source tree is left
# without build output.
set -eu
PYTHON=${PYTHON:-python3}
fonte=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
antes=$(cd "$fonte" && find . -path ./vltxdrv/__pycache__ -prune -o -print | sort)
roda=$(PYTHON=$PYTHON "$fonte/wheel.sh" "$dir/dist")
[ -f "$roda" ] || { echo "no wheel: $roda" >&2; exit 1; }
depois=$(cd "$fonte" && find . -path ./vltxdrv/__pycache__ -prune -o -print | sort)
if [ "$antes" != "$depois" ]; then
    echo "the wheel's build left files in the source tree:" >&2
    printf '%s\n' "$depois" | grep -vxF "$antes" >&2 || true
    exit 1
fi
"$PYTHON" -m venv "$dir/venv"
"$dir/venv/bin/pip" install --quiet --no-index --no-deps "$roda"
cd "$dir"
"$dir/venv/bin/python" -c '
import vltxdrv, sys
assert vltxdrv.__file__.startswith(sys.argv[1]), vltxdrv.__file__
assert vltxdrv.versao_dll() == (15, b"Veltrix - V2.60"), vltxdrv.versao_dll()
assert vltxdrv.meaning(0) == vltxdrv.STATUS
print("installed in a venv:", vltxdrv.__file__)
' "$dir/venv"
