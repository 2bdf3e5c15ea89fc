#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metadata
# pass their validators, the man pages render without warnings, the package holds what
# it should and nothing else, and its programs run from a scratch root (dpkg -x) with
# the system's libraries.
# Usage: tools/package-check.sh   (QUILLORY_BUILD_DIR picks the build folder, default build)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-packages.sh desktop-file-utils appstream dpkg-dev file man-db groff-base

build_dir="${QUILLORY_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" -j"$(nproc)"
rm -f "$build_dir"/quillory_*.deb
(cd "$build_dir" && cpack -G DEB)

failures=0
fail() {
    echo "package check: $*" >&2
    failures=$((failures + 1))
}

debs=("$build_dir"/quillory_*.deb)
((${#debs[@]} == 1)) || {
    echo "package check: expected one quillory_*.deb in $build_dir, found ${#debs[@]}" >&2
    exit 1
}
deb="${debs[0]}"
version="$(dpkg-deb -f "$deb" Version)"
arch="$(dpkg --print-architecture)"
[[ "$(basename "$deb")" == "quillory_${version}_${arch}.deb" ]] || fail "file name $(basename "$deb")"
echo "== $deb"
dpkg-deb -f "$deb" Depends Recommends

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

# Every file of the package, and no other.
expected="$(mktemp)"
actual="$(mktemp)"
trap 'rm -rf "$root" "$expected" "$actual"' EXIT
{
    printf '%s\n' usr/bin/quillory usr/bin/quillory-search \
        usr/share/applications/example.brenmoor.quillory.desktop \
        usr/share/metainfo/example.brenmoor.quillory.metainfo.xml \
        usr/share/icons/hicolor/scalable/apps/quillory.svg \
        usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/quillory.png \
        usr/share/man/man1/quillory.1.gz usr/share/man/man1/quillory-search.1.gz \
        usr/share/bash-completion/completions/quillory-search
    (cd resources && find . -type f | sed 's|^\./|usr/share/quillory/|')
} | sort >"$expected"
(cd "$root" && find . -type f -o -type l | sed 's|^\./||') | sort >"$actual"
diff -u "$expected" "$actual" || fail "the package's files differ from the expected list (- expected, + packaged)"

# Depends comes from the binaries' libraries; the optional helpers are recommended.
[[ "$(dpkg-deb -f "$deb" Depends)" == *libqt6widgets6* ]] || fail "Depends lacks libqt6widgets6"
[[ "$(dpkg-deb -f "$deb" Recommends)" == "libreoffice-calc, xdg-utils" ]] || fail "Recommends"

# Both programs run from the scratch root and name the package's version; the window
# answers --version without a display.
search="$root/usr/bin/quillory-search"
[[ "$("$search" --version)" == "quillory-search $version" ]] || fail "quillory-search --version"
window_version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/quillory" --version)"
[[ "$window_version" == "quillory $version" ]] || fail "quillory --version: $window_version"
"$search" --version
echo "$window_version"
for binary in "$root"/usr/bin/*; do
    if ldd "$binary" | grep -q 'not found'; then
        fail "$binary needs a library the system lacks"
    fi
done

# The desktop entry and the AppStream metadata.
desktop="$root/usr/share/applications/example.brenmoor.quillory.desktop"
metainfo="$root/usr/share/metainfo/example.brenmoor.quillory.metainfo.xml"
report="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
[[ -z "$report" ]] || fail "desktop-file-validate: $report"
grep -qx 'Exec=quillory %F' "$desktop" || fail "the desktop entry's Exec line"
grep -qx 'MimeType=text/vcard;text/x-vcard;text/directory;inode/directory;' "$desktop" \
    || fail "the desktop entry's MimeType line"
for tree in validate validate-tree; do
    target="$metainfo"
    [[ "$tree" == validate-tree ]] && target="$root"
    report="$(appstreamcli "$tree" --no-net "$target" 2>&1)" || fail "appstreamcli $tree failed"
    echo "$report"
    # Infos (the id's top-level name is not a known domain) are fine; warnings are not.
    if grep -qE '^ *[EW]: ' <<<"$report"; then
        fail "appstreamcli $tree reports errors or warnings"
    fi
done
newest="$(grep -oE '<release version="[^"]+"' "$metainfo" | head -n 1 | cut -d'"' -f2)"
[[ "$newest" == "$version" ]] || fail "the metadata's newest release is $newest, the package $version"

# The icons have the sizes their folders name.
for size in 48 128 256; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/quillory.png" \
        | grep -q "PNG image data, $size x $size" || fail "the ${size}x${size} icon"
done

# The man pages: named for the index, rendered without a warning, with the version.
for page in quillory quillory-search; do
    gz="$root/usr/share/man/man1/$page.1.gz"
    lexgrog "$gz" >/dev/null || fail "lexgrog finds no name in $page(1)"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$gz" 2>&1 >/dev/null)"
    [[ -z "$warnings" ]] || fail "$page(1) warns: $warnings"
    zcat "$gz" | grep -q "Quillory $version" || fail "$page(1) names another version"
done

# Every long option of quillory-search is in its man page and offered by its completion.
completion="$root/usr/share/bash-completion/completions/quillory-search"
offered="$(bash -c 'source "$1"; COMP_WORDS=(quillory-search --); COMP_CWORD=1
    _quillory_search; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion")"
manual="$(zcat "$root/usr/share/man/man1/quillory-search.1.gz")"
for option in $("$search" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qx -- "$option" <<<"$offered" || fail "the completion does not offer $option"
    grep -qF -- "${option//-/\\-}" <<<"$manual" || fail "quillory-search(1) does not name $option"
done

if ((failures > 0)); then
    echo "package check: $failures failure(s)" >&2
    exit 1
fi
echo "package check: $(basename "$deb") is sound"
