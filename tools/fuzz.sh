#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on seeds made
# from the test cards, the samples and, where it is beside the checkout, the shared
# real-world corpus. Usage: tools/fuzz.sh [SECONDS] [TARGET ...]
# Findings are written to build-fuzz/findings/ and make the script fail.
#
# Inputs may be as large as 4 MiB. The time limit per input and the card reader's memory
# limit are set well above what a reader that is linear in time and memory needs for
# that (under the sanitizers, about 20 s and 300 MB at most), and far below what one
# that goes back over its input or keeps a record per line would take. Before the card
# reader is fuzzed, each hostile shape of the growth benchmark is run once at
# QUILLORY_FUZZ_HOSTILE_BYTES (1 MiB unless told) under those limits; the fuzzing itself
# starts from the same shapes at 8 KiB, so that it stays quick on small inputs.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(fuzz_card_reader fuzz_find_sets fuzz_settings)
fi

bash tools/install-packages.sh clang-14 libclang-rt-14-dev

build_dir="${QUILLORY_FUZZ_BUILD_DIR:-build-fuzz}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLORY_FUZZ=ON \
    -DQUILLORY_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The window's library is built too: it is the one part that no other step builds with clang.
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}" quillory-bench-corpus quillory_gui

shared="${QUILLORY_SHARED_DIR:-../shared}"
seeds="$build_dir/seeds"
findings="$build_dir/findings"
mkdir -p "$findings"

# Card seeds: options byte, search-text length, search text, then a card file.
make_card_seeds() {
    local dir="$seeds/fuzz_card_reader" n=0 file
    mkdir -p "$dir"
    local sources=(tests/data/cards resources/Samples)
    [[ -d "$shared/corpus/realworld" ]] && sources+=("$shared/corpus/realworld")
    while IFS= read -r -d '' file; do
        n=$((n + 1))
        case $((n % 10)) in
        0) printf '\001\004tech' ;;
        1) printf '\000\001a' ;;
        2) printf '\001\003ann' ;;
        3) printf '\003\006muller' ;;
        4) printf '\005\006555 01' ;;
        5) printf '\011\003ann' ;; # all properties too
        6) printf '\021\006te[c]h' ;; # regular expressions
        7) printf '\023\007^m.ller' ;;
        8) printf '\041\003ann' ;; # whole words
        9) printf '\151\003ann\021' ;; # chosen fields, all properties, whole words
        esac >"$dir/seed-$n"
        head -c 65536 "$file" >>"$dir/seed-$n"
    done < <(find "${sources[@]}" -type f -iname '*.vcf' -print0 | sort -z)
    local shape large="$seeds/fuzz_card_reader-hostile"
    mkdir -p "$large"
    # Each shape comes after the search it is hard on (accents ignored, phone numbers).
    for shape in $("$build_dir/bench/quillory-bench-corpus" shapes); do
        "$build_dir/bench/quillory-bench-corpus" fuzz-input "$shape" 8192 "$dir/hostile-$shape"
        "$build_dir/bench/quillory-bench-corpus" fuzz-input "$shape" \
            "${QUILLORY_FUZZ_HOSTILE_BYTES:-1048576}" "$large/$shape"
    done
}

make_text_seeds() {
    local dir="$seeds/$1"
    mkdir -p "$dir"
    printf '::tech::Anna Müller::a, b' >"$dir/sets"
    printf ':::a::::b:' >"$dir/colons"
    printf '[Quillory]\r\nText1=tech\r\nFindSets="::a::b, c"\r\nOption1=False\r\nOption2=True\r\nOption3=maybe\r\nOption4=0\r\nExtension=vcf\r\nLastFolder=/home/u/Cards\r\n' >"$dir/settings"
    printf '[Quillory]\nOption1=@Variant(\\0\\0)\nText1=a\\nb\nExtension="x;y"\n[General]\nk=v\n' >"$dir/variant"
    printf '\000\377[Quillory\nOption2=1e3\n' >"$dir/garbage"
}

for target in "${targets[@]}"; do
    rm -rf "${seeds:?}/$target" "${seeds:?}/$target-hostile"
    case "$target" in
    fuzz_card_reader) make_card_seeds ;;
    *) make_text_seeds "$target" ;;
    esac
done

# A smaller quarantine than AddressSanitizer's 256 MB, so that the memory limit sees the
# reader's own memory.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"

status=0
for target in "${targets[@]}"; do
    work="$build_dir/corpus/$target"
    mkdir -p "$work"
    log="$build_dir/$target.log"
    # The settings harness gives Qt a new file name per input, and Qt keeps each one's
    # settings for the life of the process: its memory grows with the run, not the input.
    rss=768
    [[ $target == fuzz_settings ]] && rss=2048
    limits=(-max_len=4194304 -timeout=60 -rss_limit_mb="$rss")
    if [[ -d $seeds/$target-hostile ]]; then
        echo "== $target: each hostile shape once"
        if ! "$build_dir/fuzz/$target" "${limits[@]}" -runs=0 -print_final_stats=1 \
            -artifact_prefix="$findings/$target-" "$seeds/$target-hostile" \
            >"$log.hostile" 2>&1; then
            status=1
            echo "$target failed on a hostile shape; see $log.hostile and $findings/" >&2
            tail -40 "$log.hostile" >&2
            continue
        fi
        grep -E '^stat::peak_rss_mb|INITED' "$log.hostile" | tail -2 || true
    fi
    echo "== $target: $seconds s"
    if ! "$build_dir/fuzz/$target" "$work" "$seeds/$target" -max_total_time="$seconds" \
        "${limits[@]}" -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" >"$log" 2>&1; then
        status=1
        echo "$target found a fault; see $log and $findings/" >&2
        tail -40 "$log" >&2
    fi
    grep -E '^Done [0-9]+ runs|^stat::number_of_executed_units|^stat::peak_rss_mb|cov: ' "$log" |
        tail -3 || true
done
exit "$status"
