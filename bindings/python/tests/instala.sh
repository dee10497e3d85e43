#!/bin/sh
# The package installs without a network: pip with setuptools from the
# system (--no-build-isolation, --no-index), into a directory of its own;
# then the installed copy, not the tree's, prints the driver's version.
set -eu
PYTHON=${PYTHON:-python3}
fonte=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# A copy: the build leaves its files beside the sources.
cp -R "$fonte" "$dir/pacote"
rm -rf "$dir/pacote/build" "$dir/pacote"/*.egg-info
"$PYTHON" -m pip install --quiet --root-user-action=ignore --no-build-isolation --no-index --no-deps --target "$dir/site" "$dir/pacote"
cd "$dir"
PYTHONPATH="$dir/site" "$PYTHON" -c '
import vltxdrv, sys
assert vltxdrv.__file__.startswith(sys.argv[1]), vltxdrv.__file__
assert vltxdrv.versao_dll() == (15, b"Veltrix - V2.60"), vltxdrv.versao_dll()
print("installed:", vltxdrv.__file__)
' "$dir/site"
