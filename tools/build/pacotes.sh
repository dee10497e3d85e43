# Debian packages for ./run and tests/windows/run-windows (sourced by both):
#   instala [--sem-recomendados] PACKAGE...
#       installs those missing (as root, or through sudo without a
#       password); false when some are still missing afterwards, saying
#       which and how.
faltam() {
    local p
    for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done
}

instala() {
    local falta sudo="" opcoes=()
    if [ "${1:-}" = --sem-recomendados ]; then opcoes=(--no-install-recommends); shift; fi
    mapfile -t falta < <(faltam "$@")
    [ ${#falta[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then sudo=sudo; else
            echo "missing packages; run: sudo apt-get install -y ${falta[*]}" >&2
            return 1
        fi
    fi
    if command -v apt-get >/dev/null; then
        echo "installing: ${falta[*]}"
        $sudo apt-get update -qq >/dev/null
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${opcoes[@]}" "${falta[@]}" >/dev/null
    fi
    mapfile -t falta < <(faltam "$@")
    [ ${#falta[@]} -eq 0 ] || { echo "still missing: ${falta[*]}" >&2; return 1; }
}
