#!/usr/bin/env bash
# Builds Quillory with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test under them.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-packages.sh

build_dir="${QUILLORY_SANITIZE_BUILD_DIR:-build-asan}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQUILLORY_ASAN=ON -DQUILLORY_UBSAN=ON
cmake --build "$build_dir" -j"$(nproc)"
ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
    ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
