#!/usr/bin/env bash
# What the window's event loop thread does in its long gaps between event turns: runs
# the window driver with --gap-report and sums the stacks it took by their innermost
# frames of the program's own code (or of Qt's, when none is).
#
# Usage: bench/gap-report.sh [BUILD_DIR] [THRESHOLD_MS] -- DRIVER_ARGUMENTS...
#   e.g. bench/gap-report.sh build 20 -- --add-all tech /path/to/folder
#
# A gap counts by the processor time the thread used in it, so that on a busy machine
# the waits for a processor do not hide the program's own long turns. Prints the
# driver's figures, the longest gap of each phase, and the pairs of innermost named
# frames that the most samples were taken in, with their counts (a sample every 5 ms of
# a gap).
set -euo pipefail

build=$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../build}")
threshold=${2:-20}
shift $(($# >= 2 ? 2 : $#))
[[ ${1:-} == -- ]] && shift
window="$build/bench/quillory-bench-window"
[[ -x $window ]] || { echo "missing $window: build first" >&2; exit 2; }
(($# > 0)) || { echo "usage: bench/gap-report.sh [BUILD_DIR] [THRESHOLD_MS] -- ARGS..." >&2; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$window" --gap-report "$threshold" "$@" 2> "$log"
echo
grep '^phase ' "$log" || true
echo "gaps over $threshold ms of processor time: $(grep -c '^gap_ms' "$log" || true)"
echo
echo "samples  the two innermost named frames"
awk '
    function flush() {
        if (n == 0) return
        # The two innermost frames with a name, "inner < caller".
        pick = ""
        named = 0
        for (i = 1; i <= n && named < 2; i++) {
            if (frame[i] ~ /^\// || frame[i] ~ /^linux-vdso/) continue
            sub(/\(.*/, "", frame[i])
            pick = pick (named ? " < " : "") frame[i]
            named++
        }
        if (pick == "") pick = frame[1]
        count[pick]++
        n = 0
    }
    /^gap_ms/ { flush(); next }
    /^  sample/ { flush(); next }
    /^    / { sub(/^    /, ""); frame[++n] = $0; next }
    END {
        flush()
        for (f in count) printf "%7d  %s\n", count[f], substr(f, 1, 150)
    }
' "$log" | sort -rn | head -25
