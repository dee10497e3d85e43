#!/usr/bin/env bash
# The Windows kit: vltxdrv-VERSION-windows.zip in OUT_DIR.
#   tools/kit-windows/faz-kit.sh OUT_DIR
# For x86 and x64: the stripped vltxdrv.dll, vltxdrv.def, the import libraries
# for mingw (libvltxdrv.dll.a) and MSVC (vltxdrv.lib), vltx.exe and
# vltx-sim.exe; then the header, the bindings (Pascal, C#, VB, Python, Java),
# the reference, the examples, LICENSE, NEWS and LEIA-ME.txt/README.txt with
# CR LF line ends. The DLLs come from build-mingw-i686 and
# build-mingw-x86_64 (the trees tests/windows/run-windows tests), the two
# programs from build-kit-* (the posix thread model, for std::thread).
#
# On x86 the header declares every export stdcall, so a C compiler calls
# _ecf_InicializaDLL@4; the DLL exports the undecorated ecf_InicializaDLL. The
# import libraries map the one to the other: each decorated name is read from
# the DLL's own symbols (the compiler decorated them from the header), and the
# libraries are made with --kill-at, which imports the name without "@N"
# (binutils' dlltool for mingw, llvm-dlltool for MSVC: "Name type: undecorate").
set -euo pipefail
raiz=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$1"
saida=$(cd "$1" && pwd)
JOBS=${JOBS:-2}
versao=$(sed -nE 's/^#define VLTXDRV_VERSION_TEXT "(.*)"$/\1/p' "$raiz/include/vltxdrv.h")
nome=vltxdrv-$versao-windows
kit=$saida/$nome
cd "$raiz"

for f in llvm-dlltool zip; do
    command -v "$f" >/dev/null || { echo "faz-kit: $f is missing (apt-get install llvm zip)" >&2; exit 1; }
done

constroi() { # dir toolchain [cmake options...] -- targets...
    local dir=$1 cadeia=$2
    shift 2
    local opcoes=()
    while [ "$1" != -- ]; do opcoes+=("$1"); shift; done
    shift
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$cadeia" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        --no-warn-unused-cli "${opcoes[@]}" >/dev/null
    cmake --build "$dir" -j"$JOBS" --target "$@" >/dev/null
}

# The import definitions of one DLL: every export with a C name, with its
# ordinal from the export table; on x86 under its decorated name.
definicoes() { # triplet dll
    local triplet=$1 dll=$2
    echo "; The exports of vltxdrv.dll for import libraries, with their ordinals."
    [ "$triplet" = i686-w64-mingw32 ] &&
        echo "; On x86 each name carries its stdcall decoration (@ and the bytes of its arguments);"
    [ "$triplet" = i686-w64-mingw32 ] &&
        echo "; the DLL exports it without: link with dlltool --kill-at or lib /def (undecorate)."
    echo "; \"@Log@C6_4\" (1) and \"@Log@C6_5\" (2) have no C name: GetProcAddress finds them."
    echo "LIBRARY vltxdrv.dll"
    echo "EXPORTS"
    local decorados
    decorados=$("$triplet-nm" "$dll" | awk '$2 == "T" && $3 ~ /^_?ecf_[A-Za-z0-9_]+(@[0-9]+)?$/ {print $3}' | sed 's/^_//' | sort -u)
    local nome ordinal d
    while read -r nome ordinal; do
        if [ "$triplet" = i686-w64-mingw32 ]; then
            d=$(grep -E "^$nome@[0-9]+$" <<<"$decorados" || true)
            [ -n "$d" ] || { echo "faz-kit: no decorated $nome in $dll" >&2; return 1; }
        else
            d=$nome
        fi
        echo "    $d $ordinal"
    done < <(sed -nE 's/^[[:space:]]+(ecf_[A-Za-z0-9_]+)[[:space:]]+(@[0-9]+)[[:space:]]*$/\1 \2/p' src/exports/vltxdrv.def)
}

rm -rf "$kit" "$saida/$nome.zip"
mkdir -p "$kit"
for arq in x86 x64; do
    if [ $arq = x86 ]; then triplet=i686-w64-mingw32 maquina=i386 sufixo=i686; else triplet=x86_64-w64-mingw32 maquina=i386:x86-64 sufixo=x86_64; fi
    echo "== $arq"
    cmake --preset "mingw-$sufixo" >/dev/null
    cmake --build --preset "mingw-$sufixo" --target vltxdrv >/dev/null
    constroi "build-kit-$sufixo" "cmake/toolchain-$sufixo-mingw.cmake" \
        -DCMAKE_C_COMPILER="$triplet-gcc-posix" -DCMAKE_CXX_COMPILER="$triplet-g++-posix" \
        -DVLTXDRV_TESTS=OFF -DVLTXDRV_FERRAMENTAS_WINDOWS=ON -- vltx vltx-sim
    d=$kit/$arq
    mkdir -p "$d"
    "$triplet-strip" --strip-unneeded -o "$d/vltxdrv.dll" "build-mingw-$sufixo/vltxdrv.dll"
    for p in vltx vltx-sim; do "$triplet-strip" -o "$d/$p.exe" "build-kit-$sufixo/$p.exe"; done
    definicoes "$triplet" "build-mingw-$sufixo/vltxdrv.dll" >"$d/vltxdrv.def"
    (cd "$d" && "$triplet-dlltool" --kill-at -d vltxdrv.def -D vltxdrv.dll -l libvltxdrv.dll.a)
    llvm-dlltool -m "$maquina" -k -d "$d/vltxdrv.def" -D vltxdrv.dll -l "$d/vltxdrv.lib"
done

mkdir -p "$kit/include" "$kit/bindings" "$kit/docs" "$kit/examples"
cp include/vltxdrv.h "$kit/include/"
cp -r bindings/pascal bindings/dotnet bindings/vb bindings/java "$kit/bindings/"
mkdir -p "$kit/bindings/python"
cp -r bindings/python/vltxdrv bindings/python/pyproject.toml bindings/python/README.md bindings/python/examples \
    "$kit/bindings/python/"
# The tree's test scripts and build files are for the tree.
find "$kit/bindings" \( -name CMakeLists.txt -o -name testa.sh -o -name '__pycache__' -o -name testes \) -prune \
    -exec rm -rf {} +
cp docs/reference.md "$kit/docs/"
cp examples/recibo.c examples/recibo.vltx "$kit/examples/"
cp LICENSE NEWS "$kit/"
for t in LEIA-ME.txt README.txt; do sed 's/\r*$/\r/' "tools/kit-windows/$t" >"$kit/$t"; done
(cd "$saida" && zip -qr "$nome.zip" "$nome")
echo "$saida/$nome.zip"
