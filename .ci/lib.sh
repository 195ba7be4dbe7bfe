# Shared by the scripts of .ci/: the repository root, where CI keeps its state, and small helpers.
# Everything CI makes or caches lives under build/ (compiler cache, pip's downloads, the sid root).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=$root/build
mkdir -p "$builds"
export DEBIAN_FRONTEND=noninteractive
export PIP_CACHE_DIR=$builds/pip-cache PIP_DISABLE_PIP_VERSION_CHECK=1
export CCACHE_DIR=$builds/ccache CCACHE_BASEDIR=$root CCACHE_MAXSIZE=4G

# apt_need PACKAGE...: installs the Debian packages that are missing.
apt_need() {
    local missing=() package
    for package in "$@"; do dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package"); done
    [ ${#missing[@]} -eq 0 ] && return 0
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# pip_quiet ARGS...: pip without the notes about unused index locations of the machine's pip config.
pip_quiet() { "$@" 2>&1 | { grep -v "^WARNING: Location '" || true; }; return "${PIPESTATUS[0]}"; }

# pyenv_python MINOR: the interpreter of the newest installed pyenv version MINOR.x, or nothing.
pyenv_python() {
    local version prefix
    version=$(pyenv versions --bare 2>/dev/null | grep -E "^${1//./\\.}\.[0-9]+$" | tail -n 1 || true)
    [ -n "$version" ] || return 0
    prefix=$(pyenv prefix "$version" 2>/dev/null || true)
    [ -x "$prefix/bin/python3" ] && echo "$prefix/bin/python3"
    return 0
}

# install_test_deps PIP [PIP ARGS...]: the test extra's libraries, from wheels only. A library with no
# wheel for this Python is left out (its tests skip) and named in the log; with --strict nothing may be.
install_test_deps() {
    local pip=$1 strict=0 requirement
    shift
    if [ "${1:-}" = --strict ]; then strict=1; shift; fi
    local requirements
    mapfile -t requirements < <("$(dirname "$pip")/python" "$root/.ci/requirements.py" test)
    if pip_quiet "$pip" install -q --only-binary=:all: "$@" "${requirements[@]}"; then return 0; fi
    [ $strict = 1 ] && return 1
    for requirement in "${requirements[@]}"; do
        pip_quiet "$pip" install -q --only-binary=:all: "$@" "$requirement" >/dev/null 2>&1 ||
            echo "   no wheel of $requirement for this Python: its tests skip"
    done
}
