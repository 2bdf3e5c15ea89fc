#!/usr/bin/env bash
# Sets up a Debian 12 machine for Quillory, builds it, then starts the program
# ("run") or runs every test ("test").
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

action="${1:-}"
case "$action" in
run | test) ;;
*)
    echo "usage: tools/dev.sh run|test" >&2
    exit 2
    ;;
esac

packages=(cmake g++ ninja-build pkg-config qt6-base-dev libxlsxwriter-dev unzip)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    echo "Installing ${missing[*]}"
    sudo=()
    if [[ "$(id -u)" -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
fi

build_dir="${QUILLORY_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" -j"$(nproc)"

if [[ "$action" == run ]]; then
    exec "$build_dir/src/quillory"
fi
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
