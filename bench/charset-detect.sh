#!/usr/bin/env bash
# Compares uchardet and ICU's charset detector on card text without a charset: the
# real-world corpus, when it is there, and sample cards written at run time in seven
# legacy charsets. Prints Markdown tables (docs/charsets.md holds a run of them).
#
# Usage: bench/charset-detect.sh [BUILD_DIR] [CORPUS_DIR]
set -euo pipefail

here=$(dirname "${BASH_SOURCE[0]}")
build=$(realpath "${1:-$here/../build}")
corpus=${2:-$here/../../shared/corpus}
cmake --build "$build" -j2 --target quillory-bench-charsets > /dev/null
if [[ -d $corpus/realworld ]]; then
    exec "$build/bench/quillory-bench-charsets" "$(realpath "$corpus/realworld")" \
        "$(realpath "$corpus/oracle.json")"
fi
echo "(no corpus at $corpus: samples only)" >&2
exec "$build/bench/quillory-bench-charsets"
