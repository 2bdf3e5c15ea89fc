#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on seeds made
# from the test cards, the samples and, where it is beside the checkout, the shared
# real-world corpus. Usage: tools/fuzz.sh [SECONDS] [TARGET ...]
# Findings are written to build-fuzz/findings/ and make the script fail.
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
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"

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
        case $((n % 3)) in
        0) printf '\001\004tech' ;;
        1) printf '\000\001a' ;;
        2) printf '\001\003ann' ;;
        esac >"$dir/seed-$n"
        head -c 65536 "$file" >>"$dir/seed-$n"
    done < <(find "${sources[@]}" -type f -iname '*.vcf' -print0 | sort -z)
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
    rm -rf "${seeds:?}/$target"
    case "$target" in
    fuzz_card_reader) make_card_seeds ;;
    *) make_text_seeds "$target" ;;
    esac
done

status=0
for target in "${targets[@]}"; do
    work="$build_dir/corpus/$target"
    mkdir -p "$work"
    log="$build_dir/$target.log"
    echo "== $target: $seconds s"
    if ! "$build_dir/fuzz/$target" "$work" "$seeds/$target" -max_total_time="$seconds" \
        -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" >"$log" 2>&1; then
        status=1
        echo "$target found a fault; see $log and $findings/" >&2
        tail -40 "$log" >&2
    fi
    grep -E '^Done [0-9]+ runs|^stat::number_of_executed_units|^stat::peak_rss_mb|cov: ' "$log" |
        tail -3 || true
done
exit "$status"
