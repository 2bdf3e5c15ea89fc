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

bash tools/install-packages.sh

build_dir="${QUILLORY_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" -j"$(nproc)"

if [[ "$action" == run ]]; then
    exec "$build_dir/src/quillory"
fi
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
