#!/usr/bin/env bash
# Time and memory on hostile card files. Each shape (quillory-bench-corpus shapes) is made
# at two sizes, one twice the other, and read five ways: --dump, a search for a text the
# file holds ("e"), a search for one it does not hold ("qqq"), a search for "e" with the
# match options that read more of a card (all properties, accents ignored), and a search
# for a phone number in any format (the phone shapes hold its national number). For each it
# prints the CPU seconds (user + system, the median of three runs) at both sizes and their
# ratio, which stays near 2 when the cost grows linearly (near 4 would be quadratic), and
# the peak memory of the larger run beside the promise for it, 4 x the file's size +
# 64 MiB. A run that takes longer than the time limit is cut off and shown as such.
# Two more ways read every shape with the sharper queries: whole words in chosen fields,
# every text of two in one card, with the counts and the reading report with digests
# ("queries"); and the search for duplicate contacts ("duplicates").
# The shapes whose name holds "export" are also read one way more: the search for "e" that
# writes every matching card to a file (--export-cards).
#
# Usage: bench/hostile-growth.sh [BUILD_DIR] [MB] [LIMIT_SECONDS] [SHAPE ...]
#   MB             the smaller size in megabytes (default 8)
#   LIMIT_SECONDS  the most one run may take (default 60)
# QUILLORY_GROWTH_MODES="queries duplicates" reads the shapes those ways only.
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
mb=${2:-8}
limit=${3:-60}
shift $(($# < 3 ? $# : 3))
search="$build/src/quillory-search"
corpus="$build/bench/quillory-bench-corpus"
for tool in "$search" "$corpus"; do
    [[ -x $tool ]] || { echo "missing $tool: build first" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

shapes=("$@")
((${#shapes[@]} > 0)) || mapfile -t shapes < <("$corpus" shapes)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# CPU seconds and peak KiB of one run, or "cut" when it ran past the limit.
measure_once() {
    local status=0
    /usr/bin/time -f '%U %S %M' -o "$work/t" timeout "$limit" "$@" > /dev/null 2>&1 || status=$?
    if ((status == 124)); then
        echo "cut 0"
    else
        awk '/^[0-9]/ { printf "%.3f %d\n", $1 + $2, $3 }' "$work/t"
    fi
}

# The median CPU seconds of three runs and the highest peak.
measure() {
    local runs
    runs=$(for _ in 1 2 3; do measure_once "$@"; done)
    if grep -q cut <<<"$runs"; then
        echo "cut 0"
    else
        sort -n <<<"$runs" | awk '{ t[NR] = $1; if ($2 > m) m = $2 } END { print t[2], m }'
    fi
}

small=$((mb * 1000000))
echo "| shape | mode | CPU s, $mb MB | CPU s, $((2 * mb)) MB | ratio | peak MiB, $((2 * mb)) MB | limit MiB |"
echo "|---|---|---|---|---|---|---|"
for shape in "${shapes[@]}"; do
    "$corpus" hostile "$shape" "$small" "$work/a.vcf"
    "$corpus" hostile "$shape" "$((2 * small))" "$work/b.vcf"
    size=$(stat -c %s "$work/b.vcf")
    modes=(${QUILLORY_GROWTH_MODES:-dump found absent options phone queries duplicates})
    [[ $shape == *export* ]] && modes+=(export)
    for mode in "${modes[@]}"; do
        case $mode in
        dump) args=(--dump) ;;
        found) args=(-e e) ;;
        absent) args=(-e qqq) ;;
        options) args=(--all-properties --ignore-accents -e e) ;;
        phone) args=(--phone --region DE -e +4930901) ;; # kHostilePhoneText
        queries)
            args=(--words --field names,emails,notes --all-texts -e e -e a --counts
                --report "$work/report.json" --hash)
            ;;
        duplicates) args=(--duplicates --region DE) ;;
        export) args=(-e e --export-cards "$work/out.vcf") ;;
        esac
        read -r ta _ < <(measure "$search" "${args[@]}" "$work/a.vcf")
        read -r tb kb < <(measure "$search" "${args[@]}" "$work/b.vcf")
        if [[ $ta == cut || $tb == cut ]]; then
            ratio="over ${limit} s"
        else
            ratio=$(echo "$tb / ($ta + 0.001)" | bc -l | xargs printf '%.2f')
        fi
        printf '| %s | %s | %s | %s | %s | %d | %d |\n' "$shape" "$mode" "$ta" "$tb" "$ratio" \
            "$((kb / 1024))" "$((4 * size / 1048576 + 64))"
    done
done
