#!/usr/bin/env bash
# Memory that does not grow with the file: the search of one 4 GB file of nine million
# cards, 45 copies of a 91 MB file of 200,000 (peak memory and time, with one thread, two
# and the default), the export of the cards found and the dump of every card (and of two
# hostile shapes of 160 MiB), the search of a 160 MiB card of a million values, and the
# search of a 91 MB file against another build, grep and rg in alternating runs (one
# thread and the default; medians, ratio, peak memory).
#
# Usage: bench/large-file.sh [BUILD_DIR] [OTHER_QUILLORY_SEARCH] [REPETITIONS]
# The 4 GB file is made in $QUILLORY_BENCH_LARGE_DIR (default: a temporary folder) and
# deleted at the end; it needs about 4.2 GB of disk.
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
other=${2:-}
reps=${3:-5}
search="$build/src/quillory-search"
corpus="$build/bench/quillory-bench-corpus"
for tool in "$search" "$corpus"; do
    [[ -x $tool ]] || { echo "missing $tool: build first" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d "${QUILLORY_BENCH_LARGE_DIR:-${TMPDIR:-/tmp}}/large.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$corpus" cards 200000 "$work/cards200k.vcf" 4
for ((i = 0; i < 45; i++)); do cat "$work/cards200k.vcf"; done > "$work/cards9m.vcf"
size=$(stat -c %s "$work/cards9m.vcf")

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Wall seconds and peak resident MiB of one run.
run() {
    /usr/bin/time -f '%e %M' -o "$work/m" "$@" > /dev/null 2> /dev/null || true
    # A status other than 0 (no row found) comes first on a line of its own.
    tail -n 1 "$work/m" | awk '{ printf "%s %.0f\n", $1, $2 / 1024 }'
}

echo "| figure, $((size / 1000000)) MB file | seconds | peak memory |"
echo "|---|---|---|"
for text in tech qqzzyxw; do
    for threads in 1 2 default; do
        opts=()
        [[ $threads != default ]] && opts=(-j "$threads")
        read -r secs mib < <(run "$search" "${opts[@]}" -e "$text" "$work/cards9m.vcf")
        printf '| -e %s, -j %s | %s s | %s MiB |\n' "$text" "$threads" "$secs" "$mib"
    done
done

# The export of the cards a search found, and the dump of every card: both read the file
# a block at a time after the search, never whole.
for threads in 1 default; do
    opts=()
    [[ $threads != default ]] && opts=(-j "$threads")
    read -r secs mib < <(run "$search" "${opts[@]}" -e tech --export-cards "$work/export.vcf" \
        "$work/cards9m.vcf")
    printf '| -e tech --export-cards, -j %s (%s MB written) | %s s | %s MiB |\n' "$threads" \
        "$(($(stat -c %s "$work/export.vcf" 2> /dev/null || echo 0) / 1000000))" "$secs" "$mib"
    rm -f "$work/export.vcf"
done
read -r secs mib < <(run "$search" --dump "$work/cards9m.vcf")
printf '| --dump | %s s | %s MiB |\n' "$secs" "$mib"

# Two hostile shapes of 160 MB that --dump reads in blocks: cards nested without end keep
# a block growing, and a legacy export's lines are many times its bytes. The promise: 4 x
# the file's size + 64 MiB.
for shape in nested legacy-cards-export; do
    "$corpus" hostile "$shape" $((160 << 20)) "$work/$shape.vcf"
    read -r secs mib < <(run "$search" --dump "$work/$shape.vcf")
    printf '| --dump, a 160 MiB file of the shape %s | %s s | %s MiB (promise %s) |\n' \
        "$shape" "$secs" "$mib" $((4 * 160 + 64))
    rm -f "$work/$shape.vcf"
done

# One card of a million values, 160 MiB, searched in blocks: its rows go on as they are
# found, not held until its block is parsed. With a card after it the block is parsed in
# parts, and the rows of the first part go on so too.
"$corpus" hostile written-over $((160 << 20)) "$work/over.vcf"
printf 'BEGIN:VCARD\r\nFN:e\r\nEND:VCARD\r\n' | cat "$work/over.vcf" - > "$work/over2.vcf"
for file in over over2; do
    read -r secs mib < <(run "$search" -e e "$work/$file.vcf")
    printf '| -e e, a 160 MiB file of one card written over a million times%s | %s s | %s MiB (promise %s) |\n' \
        "$([[ $file == over2 ]] && echo ', one card after it')" "$secs" "$mib" $((4 * 160 + 64))
done
rm -f "$work/over.vcf" "$work/over2.vcf"

# The same card inside another: the parts the block is first parsed in end inside the
# outer card, and the cards that end closes are not made into rows, as they are read again.
"$corpus" hostile nested-written-over $((160 << 20)) "$work/nested-over.vcf"
read -r secs mib < <(run "$search" -e e "$work/nested-over.vcf")
printf '| -e e, the same card inside another | %s s | %s MiB (promise %s) |\n' "$secs" "$mib" \
    $((4 * 160 + 64))
rm -f "$work/nested-over.vcf"

if [[ -n $other ]]; then
    cat "$work/cards200k.vcf" > /dev/null
    # The peers run in the same rounds: grep counts the lines that hold the text, rg too
    # where it is installed. Their count goes to a file: grep writing to /dev/null stops at
    # the first line it finds.
    peer() {
        /usr/bin/time -f '%e' -o "$work/m" "$@" > "$work/count" 2> /dev/null || true
        tail -n 1 "$work/m"
    }
    rg=$(command -v rg || true)
    echo
    echo "| 91 MB file | this build | other build | ratio | grep -ciF | rg -ci |"
    echo "|---|---|---|---|---|---|"
    for threads in 1 default; do
        opts=()
        [[ $threads != default ]] && opts=(-j "$threads")
        for text in tech qqzzyxw; do
            : > "$work/a"
            : > "$work/b"
            : > "$work/g"
            : > "$work/r"
            for ((i = 0; i < reps; i++)); do
                run "$search" "${opts[@]}" -e "$text" "$work/cards200k.vcf" >> "$work/a"
                run "$other" "${opts[@]}" -e "$text" "$work/cards200k.vcf" >> "$work/b"
                peer grep -ciF "$text" "$work/cards200k.vcf" >> "$work/g"
                [[ -z $rg ]] || peer "$rg" -ci "$text" "$work/cards200k.vcf" >> "$work/r"
            done
            ma=$(cut -d' ' -f1 "$work/a" | median)
            mb=$(cut -d' ' -f1 "$work/b" | median)
            printf '| -e %s, -j %s | %.3f s, %s MiB | %.3f s, %s MiB | %.2f | %.3f s | %s |\n' "$text" \
                "$threads" "$ma" "$(cut -d' ' -f2 "$work/a" | median)" "$mb" \
                "$(cut -d' ' -f2 "$work/b" | median)" "$(echo "$ma / $mb" | bc -l)" \
                "$(median < "$work/g")" "$([[ -s $work/r ]] && printf '%.3f s' "$(median < "$work/r")" || echo -)"
        done
    done
fi
