#!/usr/bin/env bash
# Measures two builds against each other, in alternating runs: the 100,000-file search
# (the command-line tool, with one and with every thread, and the window) and the window
# at a million rows (search, copy of every row, save; peak memory).
#
# Usage: bench/compare-builds.sh OLD_BUILD_DIR NEW_BUILD_DIR [REPETITIONS]
set -euo pipefail

old=$(realpath "$1")
new=$(realpath "$2")
reps=${3:-5}
for build in "$old" "$new"; do
    for tool in src/quillory-search bench/quillory-bench-window; do
        [[ -x $build/$tool ]] || { echo "missing $build/$tool: build first" >&2; exit 2; }
    done
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
"$new/bench/quillory-bench-corpus" files 100000 "$work/files100k" 2
"$new/bench/quillory-bench-corpus" files 170000 "$work/rows1m" 5 # about a million rows for "e"
find "$work" -name '*.vcf' -print0 | xargs -0 cat > /dev/null

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
wall() {
    local start=$EPOCHREALTIME
    "$@" 2> /dev/null | cat > /dev/null || true
    echo "$EPOCHREALTIME - $start" | bc -l
}

# Alternates the old and the new command; prints both medians and new / old.
versus() {
    local label=$1 command=$2
    : > "$work/a"
    : > "$work/b"
    for ((i = 0; i < reps; i++)); do
        wall bash -c "$old/$command" >> "$work/a"
        wall bash -c "$new/$command" >> "$work/b"
    done
    local ma mb
    ma=$(median < "$work/a")
    mb=$(median < "$work/b")
    printf '| %s | %.3f s | %.3f s | %.2f |\n' "$label" "$ma" "$mb" "$(echo "$mb / $ma" | bc -l)"
}

echo "| figure | old | new | new / old |"
echo "|---|---|---|---|"
versus "search, 100,000 files" "src/quillory-search -e tech $work/files100k"
versus "search, 100,000 files, -j 1" "src/quillory-search -j 1 -e tech $work/files100k"
versus "window search, 100,000 files" "bench/quillory-bench-window tech $work/files100k"
versus "search, a million rows" "src/quillory-search -e e $work/rows1m"

echo
echo "Window, a million rows (\"e\" over 170,000 files), alternating runs:"
for ((i = 0; i < 3; i++)); do
    for build in "$old" "$new"; do
        /usr/bin/time -f 'peak_kib %M' -o "$work/m" "$build/bench/quillory-bench-window" --copy \
            --save "$work/saved.txt" e "$work/rows1m" 2> /dev/null | tr '\n' ' ' | sed "s|^|    $build: |"
        cat "$work/m"
    done
done
