#!/usr/bin/env bash
# Soak test of the window: 200 searches in a row over 10,000 files, with a copy, a
# save and a workbook export after each, in one process. Fails when the resident memory after the last
# search is 5 % or more above the memory after the tenth.
#
# Usage: bench/soak.sh [BUILD_DIR] [ROUNDS] [FILES]
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
rounds=${2:-200}
files=${3:-10000}
window="$build/bench/quillory-bench-window"
corpus="$build/bench/quillory-bench-corpus"
for tool in "$window" "$corpus"; do
    [[ -x $tool ]] || { echo "missing $tool: build first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
"$corpus" files "$files" "$work/cards" 7 >/dev/null

start=$EPOCHREALTIME
"$window" --soak "$rounds" --save "$work/results.txt" tech "$work/cards" | tee "$work/soak.log" |
    awk '$2 == 1 || $2 % 20 == 0'
seconds=$(echo "$EPOCHREALTIME - $start" | bc -l)

awk -v rounds="$rounds" -v seconds="$seconds" '
    $2 == 10 { base = $6 }
    { last = $6; lastRound = $2; rows = $4 }
    END {
        if (lastRound != rounds || base == 0) { print "the soak did not finish"; exit 1 }
        growth = (last - base) * 100 / base
        printf "rounds %d, rows per search %d, %.0f s; resident after round 10: %d KiB, after round %d: %d KiB, growth %.2f %%\n",
            rounds, rows, seconds, base, rounds, last, growth
        exit growth < 5 ? 0 : 1
    }' "$work/soak.log"
