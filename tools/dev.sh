#!/usr/bin/env bash
# Sets up a Debian 12 machine for Quillory, builds it, then starts the program
# ("run") or runs every test ("test"), the check of the window under Xvfb included.
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

# The tests also drive the window under a real X server: Xvfb and xdotool.
if [[ "$action" == test ]]; then
    bash tools/install-packages.sh xvfb xdotool
else
    bash tools/install-packages.sh
fi

build_dir="${QUILLORY_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" -j"$(nproc)"

if [[ "$action" == run ]]; then
    exec "$build_dir/src/quillory"
fi
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
# Last, the window under Xvfb: focus, Enter, Tab and the fit on three screens.
bash tools/x11-check.sh "$build_dir"
