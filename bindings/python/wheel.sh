#!/bin/sh
# wheel.sh OUT_DIR: the binding's wheel, built without a network from the
# system's setuptools and wheel (Debian: python3-build, python3-wheel), into
# OUT_DIR. The build runs on a copy in OUT_DIR, so the source tree gets no
# build/ or egg-info. Prints the wheel's path.
set -eu
PYTHON=${PYTHON:-python3}
fonte=$(cd "$(dirname "$0")" && pwd)
saida=$(mkdir -p "$1" && cd "$1" && pwd)
rm -rf "$saida/fonte"
mkdir -p "$saida/fonte"
cp -R "$fonte/pyproject.toml" "$fonte/README.md" "$fonte/vltxdrv" "$saida/fonte/"
find "$saida/fonte" -name __pycache__ -prune -exec rm -rf {} +
"$PYTHON" -m build --no-isolation --wheel --outdir "$saida" "$saida/fonte" >"$saida/build.log" 2>&1 ||
    { cat "$saida/build.log" >&2; exit 1; }
ls "$saida"/vltxdrv-*.whl
