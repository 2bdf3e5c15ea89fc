#!/usr/bin/env bash
# Builds Quillory with ThreadSanitizer and runs what searches or lists folders on several
# threads: the search and file list tests, the window's tests and the command-line tool
# over a generated tree.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-packages.sh

build_dir="${QUILLORY_TSAN_BUILD_DIR:-build-tsan}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_TSAN=ON
cmake --build "$build_dir" -j"$(nproc)" --target tst_search tst_search_large tst_search_report tst_read_ahead tst_filelist tst_window \
    tst_window_match_options tst_cli_search tst_cli_export_report quillory-search quillory-bench-corpus \
    quillory-bench-window
# The search's own threads are checked strictly: the search tests and the tool (only a
# report inside QtTest's own watchdog is suppressed).
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tools/tsan-core.supp}"
ctest --test-dir "$build_dir" --output-on-failure -R '^(tst_search|tst_search_large|tst_search_report|tst_read_ahead|tst_filelist|tst_cli_search|tst_cli_export_report)$'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build_dir/bench/quillory-bench-corpus" files 3000 "$work/files" 7
mkdir -p "$work/one"
"$build_dir/bench/quillory-bench-corpus" cards 60000 "$work/one/cards.vcf" 8
for threads in 2 3; do
    "$build_dir/src/quillory-search" -j "$threads" -e e "$work/files" "$work/one" > /dev/null
done

# The window: Qt's libraries are not instrumented, so what they do inside (their
# painting threads) is left out and the reports known to lie inside Qt are suppressed.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tools/tsan.supp"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
ctest --test-dir "$build_dir" --output-on-failure -R '^(tst_window|tst_window_match_options)$'
"$build_dir/bench/quillory-bench-window" e "$work/files"
"$build_dir/bench/quillory-bench-window" --stop-after 100 tech "$work/one"
echo "ThreadSanitizer: no report"
