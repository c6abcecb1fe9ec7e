# Shared by the run scripts: installs what is missing, configures and builds incrementally.
# shellcheck shell=bash

LUMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian 12 packages the build and the suites need.
LUMORA_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config file
    qtbase5-dev qtbase5-dev-tools
    nlohmann-json3-dev libceres-dev libeigen3-dev libbenchmark-dev
    fonts-dejavu-core fonts-wqy-microhei
)

# Installs the missing packages among "$@" (as root), or says how to.
lumora_ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures (first time, or when the options change) and builds a tree; extra arguments are
# build targets. LUMORA_CMAKE_ARGS adds cmake options; LUMORA_GENERATOR chooses the generator of
# a new tree (default Ninja), an existing tree keeps its own.
lumora_build() {
    local dir=$1
    shift
    local launcher=()
    local generator=()
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    [ -f "$dir/CMakeCache.txt" ] || generator=(-G "${LUMORA_GENERATOR:-Ninja}")
    # shellcheck disable=SC2086
    cmake -S "$LUMORA_ROOT" -B "$dir" "${generator[@]}" "${launcher[@]}" ${LUMORA_CMAKE_ARGS:-} \
        >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$dir" --parallel "$(nproc)" --target "$@"
    else
        cmake --build "$dir" --parallel "$(nproc)"
    fi
}
