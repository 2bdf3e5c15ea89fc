#!/usr/bin/env bash
# Prints how the folders of src/ include one another: a row per including folder, a
# column per included folder, the number of include lines in each cell. Folders are
# listed in layer order (lower layers first); a cell right of the diagonal is an include
# against that order and is marked with "!".
#
# Usage: tools/include-map.sh [SOURCE_DIR]   (default: the src/ of this checkout)
set -euo pipefail

src=${1:-"$(dirname "${BASH_SOURCE[0]}")/../src"}
layers=(base card filelist search results app gui cli)

for from in "${layers[@]}"; do
    [[ -d $src/$from ]] || continue
    grep -ho '^#include "[a-z]*/' "$src/$from"/*.cpp "$src/$from"/*.h 2> /dev/null \
        | sed 's|#include "||; s|/$||' | sed "s|^|$from |" || true
done | awk -v order="${layers[*]}" '
    BEGIN { n = split(order, name, " "); for (i = 1; i <= n; ++i) rank[name[i]] = i }
    { count[$1, $2]++ }
    END {
        printf "%-9s", "from\\to"
        for (j = 1; j <= n; ++j) printf "%9s", name[j]
        printf "\n"
        for (i = 1; i <= n; ++i) {
            printf "%-9s", name[i]
            for (j = 1; j <= n; ++j) {
                c = count[name[i], name[j]]
                against = j > i && !(name[i] == "gui" && name[j] == "cli") && c
                cell = c ? c (against ? "!" : "") : "."
                if (against) bad += c
                printf "%9s", cell
            }
            printf "\n"
        }
        printf "include lines against the order: %d\n", bad
    }'
