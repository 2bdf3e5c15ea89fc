#!/usr/bin/env bash
# The instructions the reading report costs, counted by callgrind (repeatable on a busy
# machine): each search is run on one thread with and without --report, and the ratio of
# the two counts printed. The corpora are made here: a file of 20,000 cards, 2,000 files
# of one card each, and a file of 1,000 cards with a photo of 15,000 bytes each.
#
# Usage: bench/report-instructions.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
work=${2:-$(mktemp -d)}
search="$build/src/quillory-search"
corpus="$build/bench/quillory-bench-corpus"
for tool in "$search" "$corpus" "$(command -v valgrind)"; do
    [[ -x $tool ]] || { echo "missing $tool: build first, install valgrind" >&2; exit 2; }
done
mkdir -p "$work"
[[ -f $work/cards20k.vcf ]] || "$corpus" cards 20000 "$work/cards20k.vcf" 4 > /dev/null
[[ -d $work/files2k ]] || "$corpus" files 2000 "$work/files2k" 2 > /dev/null
[[ -f $work/photos.vcf ]] || "$corpus" photos 1000 "$work/photos.vcf" > /dev/null

# A search that finds nothing exits with 1: its count is taken all the same.
count() {
    { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 > /dev/null || true; } \
        | awk '/Collected/ { print $4 }'
}

printf '%-44s %15s %15s %7s\n' "search" "without" "with --report" "ratio"
for target in "$work/cards20k.vcf" "$work/files2k" "$work/photos.vcf"; do
    for text in tech zq_xj; do
        plain=$(count "$search" -j 1 -e "$text" "$target")
        report=$(count "$search" -j 1 -e "$text" --report "$work/report.json" "$target")
        printf '%-44s %15s %15s %7.3f\n' "-e $text $(basename "$target")" "$plain" "$report" \
            "$(echo "$report / $plain" | bc -l)"
    done
done
