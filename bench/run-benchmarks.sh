#!/usr/bin/env bash
# Generates the benchmark corpora in a temporary folder and measures every figure
# against its peer in the same run: alternating runs, medians, ratios.
#
# Usage: bench/run-benchmarks.sh [BUILD_DIR] [REPETITIONS] [million]
#
# With "million" (or QUILLORY_BENCH_MILLION=1) it adds the rows of a million files in
# 1,000 folders: the search against grep, the growth from 100,000 files, and the window
# adding the folder with "Add All" and searching it. Generating that corpus takes minutes
# and about 4 GB of disk; QUILLORY_BENCH_MILLION_DIR=DIR measures an existing folder
# instead (one made by `quillory-bench-corpus files 1000000 DIR 6`).
#
# QUILLORY_BENCH_BEFORE=FILE names the quillory-search of an earlier build: the main rows
# are then measured again against it, in the same alternating runs.
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
reps=${2:-5}
million=${QUILLORY_BENCH_MILLION:-0}
case ${3:-} in
    million) million=1 ;;
    "") ;;
    *) echo "usage: bench/run-benchmarks.sh [BUILD_DIR] [REPETITIONS] [million]" >&2; exit 2 ;;
esac
search="$build/src/quillory-search"
window="$build/bench/quillory-bench-window"
corpus="$build/bench/quillory-bench-corpus"
floor="$build/bench/quillory-bench-floor"
for tool in "$search" "$window" "$corpus" "$floor"; do
    [[ -x $tool ]] || { echo "missing $tool: build first" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
for tool in awk bc find grep xargs; do
    command -v "$tool" > /dev/null || { echo "needs $tool" >&2; exit 2; }
done
before=${QUILLORY_BENCH_BEFORE:-}
if [[ -n $before && ! -x $before ]]; then
    echo "QUILLORY_BENCH_BEFORE is not a program: $before" >&2
    exit 2
fi
if [[ $million == 1 && -n ${QUILLORY_BENCH_MILLION_DIR:-} && ! -d $QUILLORY_BENCH_MILLION_DIR ]]; then
    echo "QUILLORY_BENCH_MILLION_DIR is not a folder: $QUILLORY_BENCH_MILLION_DIR" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"

"$corpus" files 10000 "$work/files10k" 1
"$corpus" files 100000 "$work/files100k" 2
"$corpus" cards 20000 "$work/cards20k.vcf" 3
"$corpus" cards 200000 "$work/cards200k.vcf" 4
"$corpus" files 170000 "$work/rows1m" 5 # "e" matches about six fields a card: a million rows
# A million cards in 100 files, one in a hundred a planted duplicate of an earlier one.
"$corpus" duplicates 1000000 "$work/dup1m" > "$work/planted"

# Warm the file cache.
cat "$work"/*.vcf > /dev/null
find "$work" -name '*.vcf' -print0 | xargs -0 cat > /dev/null

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Wall seconds of one run of a command, to the millisecond. The output goes through a
# pipe: grep stops at the first match when it writes to /dev/null itself.
wall() {
    local start=$EPOCHREALTIME
    "$@" 2> /dev/null | cat > /dev/null || true
    echo "$EPOCHREALTIME - $start" | bc -l
}

# Peak resident memory in MiB of one run.
peak() {
    /usr/bin/time -f '%M' -o "$work/m" "$@" > /dev/null 2> /dev/null || true
    awk '{ printf "%.0f", $1 / 1024 }' "$work/m"
}

# Alternates two commands, prints the two medians and their ratio.
versus() {
    local label=$1 a=$2 b=$3
    : > "$work/a"
    : > "$work/b"
    for ((i = 0; i < reps; i++)); do
        wall bash -c "$a" >> "$work/a"
        wall bash -c "$b" >> "$work/b"
    done
    local ma mb
    ma=$(median < "$work/a")
    mb=$(median < "$work/b")
    printf '| %s | %.3f s | %.3f s | %.2f |\n' "$label" "$ma" "$mb" "$(echo "$ma / $mb" | bc -l)"
    last_a=$ma
    last_b=$mb
}

# The growth rows again with the cost of starting a process taken out of both sides:
# the large run less one start, against ten small runs less ten starts.
without_start() {
    local label=$1
    printf '| %s, start-up (%.3f s) taken out | %.3f s | %.3f s | %.2f |\n' "$label" "$start" \
        "$(echo "$last_a - $start" | bc -l)" "$(echo "$last_b - 10 * $start" | bc -l)" \
        "$(echo "($last_a - $start) / ($last_b - 10 * $start)" | bc -l)"
}

window_search_ms() { "$window" "$1" "$2" 2>/dev/null | awk '/^search_ms/ { print $2 / 1000 }'; }

echo "| figure | quillory | peer | ratio |"
echo "|---|---|---|---|"
versus "search, 100,000 files (peer: grep -rilF; goal: at most 0.60)" \
    "$search -e tech $work/files100k" "grep -rilF tech $work/files100k"
versus "floor: walk and openat/read/close, one thread, 100,000 files (peer: grep -rilF)" \
    "$floor 1 $work/files100k" "grep -rilF tech $work/files100k"
versus "floor: walk and openat/read/close, two threads, 100,000 files (peer: grep -rilF)" \
    "$floor 2 $work/files100k" "grep -rilF tech $work/files100k"
versus "search, 100,000 files (peer: the floor on two threads)" \
    "$search -e tech $work/files100k" "$floor 2 $work/files100k"
versus "search --phone, 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --phone -e tech $work/files100k" "$search -e tech $work/files100k"
versus "search --ignore-accents, 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --ignore-accents -e tech $work/files100k" "$search -e tech $work/files100k"
versus "search --phone for \"555 01\", 100,000 files (peer: the default search for it)" \
    "$search --phone --region US -e '555 01' $work/files100k" "$search -e '555 01' $work/files100k"
versus "search --all-properties, 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --all-properties -e tech $work/files100k" "$search -e tech $work/files100k"
versus "search --regex 'te[c]h', 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --regex -e 'te[c]h' $work/files100k" "$search -e tech $work/files100k"
versus "search --regex 'tech(nik|nology)?', 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --regex -e 'tech(nik|nology)?' $work/files100k" "$search -e tech $work/files100k"
five="-e tech -e sales -e engineer -e riverside -e anna"
versus "search --all-texts with five texts, 100,000 files (peer: the same five texts without it; goal: at most 1.5)" \
    "$search --all-texts $five $work/files100k" "$search $five $work/files100k"
versus "search --field emails, 100,000 files (peer: the default search; goal: at most 1.0)" \
    "$search --field emails -e tech $work/files100k" "$search -e tech $work/files100k"
versus "search --words, 100,000 files (peer: the default search; goal: at most 1.5)" \
    "$search --words -e tech $work/files100k" "$search -e tech $work/files100k"
versus "search with all three options, 100,000 files (peer: the default search)" \
    "$search --phone --ignore-accents --all-properties -e tech $work/files100k" \
    "$search -e tech $work/files100k"
versus "window search, 100,000 files (peer: quillory-search; goal: at most 1.10)" \
    "$window tech $work/files100k" "$search -e tech $work/files100k"
versus "window search, 100,000 files (peer: quillory-search -j 1, one thread)" \
    "$window tech $work/files100k" "$search -j 1 -e tech $work/files100k"
# The rows above time the window's whole process: its start, the list of 100,000 files
# added before the press, the search and the close. This one times the search alone,
# from the press of "Start Searching" to its end, against the tool's whole run.
: > "$work/a"
: > "$work/b"
for ((i = 0; i < reps; i++)); do
    window_search_ms tech "$work/files100k" >> "$work/a"
    wall "$search" -e tech "$work/files100k" >> "$work/b"
done
printf '| window, the search alone (the press to its end), 100,000 files (peer: quillory-search) | %.3f s | %.3f s | %.2f |\n' \
    "$(median < "$work/a")" "$(median < "$work/b")" "$(echo "$(median < "$work/a") / $(median < "$work/b")" | bc -l)"
versus "search --report, 100,000 files (peer: the default search; goal: at most 1.02)" \
    "$search -e tech --report $work/report.json $work/files100k" "$search -e tech $work/files100k"
versus "search --report --hash, 100,000 files (peer: the default search; goal: at most 1.3)" \
    "$search -e tech --hash --report $work/report.json $work/files100k" \
    "$search -e tech $work/files100k"
versus "search --report, one file of 200,000 cards (peer: the default search; goal: at most 1.02)" \
    "$search -e tech --report $work/report.json $work/cards200k.vcf" \
    "$search -e tech $work/cards200k.vcf"
versus "search --report --hash, one file of 200,000 cards (peer: the default search; goal: at most 1.3)" \
    "$search -e tech --hash --report $work/report.json $work/cards200k.vcf" \
    "$search -e tech $work/cards200k.vcf"
size=$(stat -c %s "$work/cards200k.vcf")
versus "one file of 200,000 cards (peer: grep -ciF)" \
    "$search -e tech $work/cards200k.vcf" "grep -ciF tech $work/cards200k.vcf"
secs=$(for ((i = 0; i < reps; i++)); do wall "$search" -e tech "$work/cards200k.vcf"; done | median)
printf '| throughput, %s MB file | %.0f MB/s | | |\n' "$((size / 1000000))" "$(echo "$size / 1000000 / $secs" | bc -l)"
secs=$(for ((i = 0; i < reps; i++)); do wall "$search" -j 1 -e tech "$work/cards200k.vcf"; done | median)
printf '| throughput, %s MB file, one thread (-j 1) | %.0f MB/s | | |\n' "$((size / 1000000))" \
    "$(echo "$size / 1000000 / $secs" | bc -l)"
# One file on one thread, a text found nowhere ("zq_xj": no base64 photo holds "_"),
# "tech" (in a third of the cards) and "e" (in every card, rows of most values), in MB/s
# against grep -ciF and, when it is installed, rg -c, all in the same alternating runs.
for text in zq_xj tech e; do
    : > "$work/a"
    : > "$work/b"
    : > "$work/c"
    for ((i = 0; i < reps; i++)); do
        wall "$search" -j 1 -e "$text" "$work/cards200k.vcf" >> "$work/a"
        wall grep -ciF "$text" "$work/cards200k.vcf" >> "$work/b"
        if command -v rg > /dev/null; then
            wall rg -c -i -F "$text" "$work/cards200k.vcf" >> "$work/c"
        fi
    done
    ma=$(median < "$work/a")
    mb=$(median < "$work/b")
    printf '| one file, one thread (-j 1), "%s" (peer: grep -ciF; goal: %s) | %.0f MB/s | %.0f MB/s | %.2f |\n' \
        "$text" "$(case $text in tech) echo "at least 400 MB/s" ;; e) echo "none" ;; *) echo "at least 1,000 MB/s" ;; esac)" \
        "$(echo "$size / 1000000 / $ma" | bc -l)" "$(echo "$size / 1000000 / $mb" | bc -l)" \
        "$(echo "$mb / $ma" | bc -l)"
    if [[ -s $work/c ]]; then
        mc=$(median < "$work/c")
        printf '| one file, one thread (-j 1), "%s" (peer: rg -c -i -F) | %.0f MB/s | %.0f MB/s | %.2f |\n' \
            "$text" "$(echo "$size / 1000000 / $ma" | bc -l)" "$(echo "$size / 1000000 / $mc" | bc -l)" \
            "$(echo "$mc / $ma" | bc -l)"
    fi
done
versus "search --report, one file of 200,000 cards, one thread, \"zq_xj\" (peer: the same without it; goal: at most 1.02)" \
    "$search -j 1 -e zq_xj --report $work/report.json $work/cards200k.vcf" \
    "$search -j 1 -e zq_xj $work/cards200k.vcf"
versus "search --report, 100,000 files, \"zq_xj\" (peer: the same without it; goal: at most 1.02)" \
    "$search -e zq_xj --report $work/report.json $work/files100k" \
    "$search -e zq_xj $work/files100k"
printf '| peak memory, %s MB file | %s MiB | | %.2f x file size |\n' "$((size / 1000000))" \
    "$(peak "$search" -e tech "$work/cards200k.vcf")" \
    "$(echo "$(peak "$search" -e tech "$work/cards200k.vcf") * 1048576 / $size" | bc -l)"
mkdir -p "$work/empty"
start=$(for ((i = 0; i < reps; i++)); do wall "$search" -e tech "$work/empty"; done | median)
versus "growth: 100,000 / 10,000 files (peer: 10 x the small run)" \
    "$search -e tech $work/files100k" \
    "for i in 1 2 3 4 5 6 7 8 9 10; do $search -e tech $work/files10k; done"
without_start "growth: 100,000 / 10,000 files"
versus "growth: 200,000 / 20,000 cards (peer: 10 x the small run)" \
    "$search -e tech $work/cards200k.vcf" \
    "for i in 1 2 3 4 5 6 7 8 9 10; do $search -e tech $work/cards20k.vcf; done"
without_start "growth: 200,000 / 20,000 cards"
# Duplicates: every card parsed and its keys gathered, against a search whose text every
# card holds (every card parsed too, a row each printed).
planted=$(awk '{ print $2 }' "$work/planted")
versus "duplicates, a million cards in 100 files (peer: a search that every card matches)" \
    "$search --duplicates --region DE $work/dup1m" "$search -e mail.example $work/dup1m"
printf '| duplicates, a million cards: groups found / planted | %s | %s | |\n' \
    "$("$search" --duplicates --json --region DE "$work/dup1m" | wc -l)" "$planted"
printf '| duplicates, a million cards: peak memory | %s MiB | %s MiB | |\n' \
    "$(peak "$search" --duplicates --region DE "$work/dup1m")" \
    "$(peak "$search" -e mail.example "$work/dup1m")"

# The value after a name on the window driver's output ("search_ms 812 rows 18869 ...").
field() { awk -v name="$1" '{ for (i = 1; i < NF; i++) if ($i == name) { print $(i + 1); exit } }' "$2"; }
thousands() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta' <<< "$1"; }

if [[ $million == 1 ]]; then
    big=${QUILLORY_BENCH_MILLION_DIR:-}
    if [[ -z $big ]]; then
        big="$work/files1m"
        "$corpus" files 1000000 "$big" 6 # 1,000 files a folder: 1,000 folders
    fi
    big=$(realpath "$big")
    find "$big" -name '*.vcf' -print0 | xargs -0 cat > /dev/null
    count=$(find "$big" -type f -name '*.vcf' | wc -l)
    where="$(thousands "$count") files in $(thousands "$(find "$big" -mindepth 1 -type d | wc -l)") folders"
    versus "search, $where (peer: grep -rilF)" "$search -e tech $big" "grep -rilF tech $big"
    versus "floor: walk and openat/read/close, two threads, $where (peer: grep -rilF)" \
        "$floor 2 $big" "grep -rilF tech $big"
    # Proportional: the large folder takes as long as that many runs over 100,000 files.
    times=$(((count + 50000) / 100000))
    if ((times > 0)); then
        versus "growth: $where / 100,000 files (peer: $times x the 100,000-file search; goal: within 15 % of proportional)" \
            "$search -e tech $big" \
            "for ((r = 0; r < $times; r++)); do $search -e tech $work/files100k; done"
        # without_start takes ten starts off the peer: right for ten runs only.
        if ((times == 10)); then
            without_start "growth: $where / 100,000 files"
        fi
    fi

    # The window as a user drives it: "Add All VCF File(s) In Folder", then the search;
    # medians of the times, the longest gaps and the largest peak of all runs. What a long
    # gap is made of: bench/gap-report.sh BUILD 20 -- --add-all tech FOLDER.
    : > "$work/window-runs"
    : > "$work/cli-runs"
    for ((i = 0; i < reps; i++)); do
        /usr/bin/time -f '%M' -o "$work/m" "$window" --add-all tech "$big" > "$work/w" 2> /dev/null \
            || { echo "the window failed over $big" >&2; exit 1; }
        run=$(for name in add_ms search_ms add_gap_ms longest_gap_ms files rows; do
            field "$name" "$work/w"
        done | tr '\n' ' ')
        [[ $(wc -w <<< "$run") == 6 ]] || { echo "unexpected window output: $(cat "$work/w")" >&2; exit 1; }
        echo "$run $(cat "$work/m")" >> "$work/window-runs"
        wall "$search" -e tech "$big" >> "$work/cli-runs"
    done
    middle() { awk -v c="$1" '{ print $c }' "$work/window-runs" | median; }
    largest() { awk -v c="$1" '$c > m { m = $c } END { print m + 0 }' "$work/window-runs"; }
    whole=$(awk '{ print ($1 + $2) / 1000 }' "$work/window-runs" | median)
    cli=$(median < "$work/cli-runs")
    printf '| window, %s: "Add All" then the search (peer: quillory-search; goal: at most 1.15) ' \
        "$where"
    printf '| %.3f s | %.3f s | %.2f |\n' "$whole" "$cli" "$(echo "$whole / $cli" | bc -l)"
    gap_goal="(goal: none over 50 ms)"
    printf '| window, %s: "Add All", %s files listed | %.3f s | | longest gap between event turns %s ms %s |\n' \
        "$where" "$(thousands "$(middle 5)")" "$(echo "$(middle 1) / 1000" | bc -l)" "$(largest 3)" "$gap_goal"
    printf '| window, %s: the search, %s rows | %.3f s | | longest gap between event turns %s ms %s |\n' \
        "$where" "$(thousands "$(middle 6)")" "$(echo "$(middle 2) / 1000" | bc -l)" "$(largest 4)" "$gap_goal"
    printf '| window, %s: "Add All" then the search, peak memory | %.0f MiB | | goal: under 1,024 MiB |\n' \
        "$where" "$(echo "$(largest 7) / 1024" | bc -l)"
fi

echo
echo "Window, a million rows (\"e\" over 100,000 files), one run:"
"$window" --copy --save "$work/saved.txt" e "$work/rows1m" 2>/dev/null | sed 's/^/    /'
printf '    peak_mib %s\n' "$(peak "$window" --copy --save "$work/saved.txt" e "$work/rows1m")"
mkdir -p "$work/one"
ln -f "$work/cards200k.vcf" "$work/one/cards200k.vcf"
echo "Window, inside one file of 200,000 cards: the search, then a stop pressed 200 ms in:"
"$window" tech "$work/one" 2>/dev/null | sed 's/^/    /'
"$window" --stop-after 200 tech "$work/one" 2>/dev/null | sed 's/^/    /'
echo "Sorting and filtering a million result rows (time, rows shown, longest gap of a 5 ms timer):"
"$build/bench/quillory-bench-arrange" 2>/dev/null | sed 's/^/    /'
printf '    peak_mib filled %s, sorted and filtered %s\n' \
    "$(peak "$build/bench/quillory-bench-arrange" --fill-only)" \
    "$(peak "$build/bench/quillory-bench-arrange")"
echo "Start-up to the window shown, median of $reps:"
for ((i = 0; i < reps; i++)); do "$window" --startup 2>/dev/null | awk '{ print $2 }'; done | median \
    | sed 's/^/    startup_ms /'

# The first search of a folder, its files not yet in memory: the file cache is emptied
# before every run (as root, where /proc/sys/vm/drop_caches can be written). The floor
# reads the same files on 1 to 32 threads: how many reads are under way at once, not the
# processors, sets a search's pace then.
echo
echo "Cold file cache (emptied before each run), 100,000 files (goal: at most 1.2 against the fastest floor row):"
if [[ -w /proc/sys/vm/drop_caches ]] && sync && echo 3 2> /dev/null > /proc/sys/vm/drop_caches; then
    cold_versus() {
        local label=$1 a=$2 b=$3
        : > "$work/a"
        : > "$work/b"
        for ((i = 0; i < reps; i++)); do
            sync; echo 3 > /proc/sys/vm/drop_caches
            wall bash -c "$a" >> "$work/a"
            sync; echo 3 > /proc/sys/vm/drop_caches
            wall bash -c "$b" >> "$work/b"
        done
        local ma mb
        ma=$(median < "$work/a")
        mb=$(median < "$work/b")
        printf '| %s | %.3f s | %.3f s | %.2f |\n' "$label" "$ma" "$mb" "$(echo "$ma / $mb" | bc -l)"
    }
    echo "| figure | quillory | peer | ratio |"
    echo "|---|---|---|---|"
    for threads in 1 2 8 32; do
        on="$threads threads"
        [[ $threads == 1 ]] && on="one thread"
        cold_versus "search, cold (peer: the floor on $on, cold)" \
            "$search -e tech $work/files100k" "$floor $threads $work/files100k"
    done
    cold_versus "search, cold (peer: grep -rilF, cold)" \
        "$search -e tech $work/files100k" "grep -rilF tech $work/files100k"
    if command -v rg > /dev/null; then
        cold_versus "search, cold (peer: rg -il --no-ignore -F, cold)" \
            "$search -e tech $work/files100k" "rg -il --no-ignore -F tech $work/files100k"
    else
        echo "| search, cold (peer: rg) | | | rg is not installed: row left out |"
    fi
else
    echo "    left out: emptying the file cache needs root (sync; echo 3 > /proc/sys/vm/drop_caches)"
fi

if [[ -n $before ]]; then
    echo
    echo "Against the build before ($before), warm file cache:"
    echo "| figure | quillory | peer | ratio |"
    echo "|---|---|---|---|"
    versus "search, 100,000 files (peer: the build before)" \
        "$search -e tech $work/files100k" "$before -e tech $work/files100k"
    versus "search --report, 100,000 files (peer: the build before)" \
        "$search -e tech --report $work/report.json $work/files100k" \
        "$before -e tech --report $work/report.json $work/files100k"
    for text in zq_xj tech; do
        versus "one file of 200,000 cards, one thread, \"$text\" (peer: the build before)" \
            "$search -j 1 -e $text $work/cards200k.vcf" "$before -j 1 -e $text $work/cards200k.vcf"
    done
    versus "one file of 200,000 cards, every thread, \"tech\" (peer: the build before)" \
        "$search -e tech $work/cards200k.vcf" "$before -e tech $work/cards200k.vcf"
    printf '| peak memory, %s MB file (peer: the build before) | %s MiB | %s MiB | |\n' \
        "$((size / 1000000))" "$(peak "$search" -e tech "$work/cards200k.vcf")" \
        "$(peak "$before" -e tech "$work/cards200k.vcf")"
    if declare -F cold_versus > /dev/null; then # the file cache can be emptied
        cold_versus "search, 100,000 files, cold (peer: the build before, cold)" \
            "$search -e tech $work/files100k" "$before -e tech $work/files100k"
    fi
fi
