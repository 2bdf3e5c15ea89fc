#!/usr/bin/env bash
# Peak resident memory of `quillory-search --dump` over many small card files.
#
# The tool is meant to hold one file's cards at a time, so its peak should be the same
# for a thousand files as for a hundred thousand; a peak that grows with the file count
# means cards (or per-file state) pile up somewhere.
#
# Usage: bench/dump-memory.sh [N] [BINARY]
#   N       number of single-card files to generate (default 100000)
#   BINARY  quillory-search to measure (default build/src/quillory-search of this checkout)
set -euo pipefail

count=${1:-100000}
bin=${2:-"$(dirname "${BASH_SOURCE[0]}")/../build/src/quillory-search"}
single_max=20000 # files passed to one process as arguments, well within ARG_MAX

if ! [[ $count =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [N] [BINARY]" >&2
    exit 2
fi
if [[ ! -x $bin ]]; then
    echo "$0: $bin: not an executable" >&2
    exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
    # GNU time reports the peak RSS; the shell keyword does not.
    echo "$0: /usr/bin/time missing; install it with: apt-get install time" >&2
    exit 2
fi
bin=$(realpath "$bin")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cards=$work/cards
mkdir "$cards"

# awk writes the files without a process per file; close() keeps it under the open
# file limit.
awk -v n="$count" -v dir="$cards" 'BEGIN {
    for (i = 1; i <= n; i++) {
        f = sprintf("%s/c%07d.vcf", dir, i)
        printf "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person %07d\r\nN:Family%d;Given%d;;;\r\n", i, i, i > f
        printf "EMAIL;TYPE=INTERNET:person%d@example.org\r\nTEL;TYPE=CELL:+1 555 %07d\r\n", i, i > f
        printf "NOTE:Card number %d of %d\r\nEND:VCARD\r\n", i, n > f
        close(f)
    }
}'

cd "$cards"
mapfile -t names < <(find . -maxdepth 1 -name '*.vcf' -printf '%f\n' | sort)

# Prints the peak RSS in KiB of one run of the tool over the given files.
peak_kib() {
    local log=$work/time.log
    if ! /usr/bin/time -o "$log" -f '%M' "$bin" --dump "$@" >/dev/null; then
        echo "$0: $bin failed on $# files" >&2
        exit 1
    fi
    tail -n 1 "$log"
}

report() { printf '%-44s %8s KiB\n' "$1" "$2"; }

report "1 file, one process:" "$(peak_kib "${names[0]}")"
small=$((count < 1000 ? count : 1000))
report "$small files, one process:" "$(peak_kib "${names[@]:0:small}")"
large=$((count < single_max ? count : single_max))
if ((large > small)); then
    report "$large files, one process:" "$(peak_kib "${names[@]:0:large}")"
    # The argument list alone costs memory (argv plus Qt's copies of it); --help parses
    # the same list and reads no card, so the difference to the line above is the
    # cost of the cards.
    /usr/bin/time -o "$work/time.log" -f '%M' "$bin" --help "${names[@]:0:large}" >/dev/null
    report "  same $large arguments, --help only:" "$(tail -n 1 "$work/time.log")"
fi

# All N through xargs: it splits the list into as many processes as ARG_MAX needs,
# each measured on its own.
log=$work/xargs.log
: >"$log"
find . -maxdepth 1 -name '*.vcf' -print0 | sort -z |
    xargs -0 /usr/bin/time -a -o "$log" -f '%M %x' "$bin" --dump >/dev/null
if awk '$2 != 0 { bad = 1 } END { exit !bad }' "$log"; then
    echo "$0: $bin failed in an xargs batch" >&2
    exit 1
fi
processes=$(wc -l <"$log")
report "$count files via xargs ($processes processes), peak:" \
    "$(sort -n "$log" | tail -n 1 | cut -d' ' -f1)"
