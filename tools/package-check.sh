#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metadata
# pass their validators, the man pages render without warnings, the package holds what
# it should and nothing else, with its licence in Debian's machine-readable form and its
# change log, lintian finds nothing to warn of, its programs run from a scratch root
# (dpkg -x) with the system's libraries, and the desktop entry makes Quillory the handler
# of card files but not of folders. Last it checks itself: the same package without its
# copyright file must fail.
# Usage: tools/package-check.sh   (QUILLORY_BUILD_DIR picks the build folder, default build)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-packages.sh desktop-file-utils appstream dpkg-dev file man-db groff-base \
    lintian xdg-utils

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
# The programs carry the project's version; the package adds its Debian revision.
upstream="${version%-*}"
arch="$(dpkg --print-architecture)"
[[ "$(basename "$deb")" == "quillory_${version}_${arch}.deb" ]] || fail "file name $(basename "$deb")"
echo "== $deb"
dpkg-deb -f "$deb" Depends Recommends

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
dpkg -x "$deb" "$root"

# What the package holds: every file it should and no other, the licence, the change log,
# and lintian's verdict. Returns non-zero on a failure, so that the check can run it on a
# broken package too.
check_contents() { # DEB
    local before=$failures tree expected actual
    tree="$(mktemp -d -p "$scratch")"
    dpkg -x "$1" "$tree"
    expected="$tree.expected"
    actual="$tree.actual"
    {
        printf '%s\n' usr/bin/quillory usr/bin/quillory-search usr/lib/quillory/modules/libquillory-phone.so \
            usr/share/applications/example.brenmoor.quillory.desktop \
            usr/share/metainfo/example.brenmoor.quillory.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/quillory.svg \
            usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/quillory.png \
            usr/share/man/man1/quillory.1.gz usr/share/man/man1/quillory-search.1.gz \
            usr/share/bash-completion/completions/{quillory,quillory-search} \
            usr/share/doc/quillory/{copyright,changelog.Debian.gz} \
            usr/share/lintian/overrides/quillory
        (cd resources && find . -type f | sed 's|^\./|usr/share/quillory/|')
    } | sort >"$expected"
    (cd "$tree" && find . -type f -o -type l | sed 's|^\./||') | sort >"$actual"
    diff -u "$expected" "$actual" \
        || fail "the package's files differ from the expected list (- expected, + packaged)"

    # The machine-readable form: its format line, then a paragraph for every file.
    local copyright="$tree/usr/share/doc/quillory/copyright"
    if [[ ! -f $copyright ]]; then
        fail "no usr/share/doc/quillory/copyright"
    else
        [[ "$(head -n 1 "$copyright")" == "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] \
            || fail "the copyright file is not in the machine-readable format"
        grep -qx 'Files: \*' "$copyright" || fail "the copyright file has no paragraph for every file"
    fi
    local changelog="$tree/usr/share/doc/quillory/changelog.Debian.gz"
    [[ -f $changelog && "$(zcat "$changelog" | head -n 1)" == "quillory ($version) "* ]] \
        || fail "changelog.Debian.gz does not begin with the package's version $version"

    # Errors and warnings fail; the tags the package keeps are overridden with a reason.
    local report status=0
    report="$(lintian --fail-on error,warning "$1" 2>&1)" || status=$?
    grep -v 'running with root privileges' <<<"$report" || true
    ((status == 0)) || fail "lintian reports errors or warnings"
    ((failures == before))
}
check_contents "$deb" || true

# Depends comes from the binaries' libraries; the optional helpers are recommended.
[[ "$(dpkg-deb -f "$deb" Depends)" == *libqt6widgets6* ]] || fail "Depends lacks libqt6widgets6"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libre2-* ]] || fail "Depends lacks libre2"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libssl3* ]] || fail "Depends lacks libssl3"
[[ "$(dpkg-deb -f "$deb" Recommends)" == "libreoffice-calc, xdg-utils" ]] || fail "Recommends"

# Both programs run from the scratch root and name the package's version; the window
# answers --version without a display.
search="$root/usr/bin/quillory-search"
[[ "$("$search" --version)" == "quillory-search $upstream" ]] || fail "quillory-search --version"
window_version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/quillory" --version)"
[[ "$window_version" == "quillory $upstream" ]] || fail "quillory --version: $window_version"
"$search" --version
echo "$window_version"
for binary in "$root"/usr/bin/* "$root"/usr/lib/quillory/modules/*; do
    if ldd "$binary" | grep -q 'not found'; then
        fail "$binary needs a library the system lacks"
    fi
done
# The search loads libphonenumber's module from ../lib/quillory/modules at the first number: the
# same number written another way is found, and nothing is said of a missing library.
card="$scratch/phone.vcf"
printf 'BEGIN:VCARD\r\nFN:Jo\r\nTEL:+49 (176) 1234-5678\r\nEND:VCARD\r\n' >"$card"
phone_err="$scratch/phone.err"
"$search" --phone --region DE -e '0176 12345678' "$card" 2>"$phone_err" | grep -qF '+49 (176) 1234-5678' \
    || fail "the installed search does not find a phone number in another form: $(cat "$phone_err")"
[[ ! -s "$phone_err" ]] || fail "the installed search: $(cat "$phone_err")"

# The desktop entry and the AppStream metadata.
desktop="$root/usr/share/applications/example.brenmoor.quillory.desktop"
metainfo="$root/usr/share/metainfo/example.brenmoor.quillory.metainfo.xml"
report="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
[[ -z "$report" ]] || fail "desktop-file-validate: $report"
grep -qx 'Exec=quillory %F' "$desktop" || fail "the desktop entry's Exec line"
grep -qx 'MimeType=text/vcard;text/x-vcard;text/directory;' "$desktop" \
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
[[ "$newest" == "$upstream" ]] || fail "the metadata's newest release is $newest, the package $upstream"

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
    zcat "$gz" | grep -q "Quillory $upstream" || fail "$page(1) names another version"
done

# Every long option of both programs is in its man page and offered by its completion.
for program in quillory quillory-search; do
    offered="$(bash -c 'source "$1"; COMP_WORDS=("$2" --); COMP_CWORD=1
        "_${2//-/_}"; printf "%s\n" "${COMPREPLY[@]}"' _ \
        "$root/usr/share/bash-completion/completions/$program" "$program")"
    manual="$(zcat "$root/usr/share/man/man1/$program.1.gz")"
    help="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --help)"
    for option in $(echo "$help" | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qx -- "$option" <<<"$offered" || fail "the completion of $program does not offer $option"
        grep -qF -- "${option//-/\\-}" <<<"$manual" || fail "$program(1) does not name $option"
    done
done

# Installed with no other application, the desktop entry makes Quillory the default for
# card files and for no folder: xdg-open FOLDER must not start it.
applications="$scratch/share/applications"
mkdir -p "$applications" "$scratch/home"
cp "$desktop" "$applications/"
update-desktop-database "$applications"
default_for() { # MIME-TYPE
    env -i PATH="$PATH" HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" \
        XDG_CONFIG_HOME="$scratch/home/config" XDG_CONFIG_DIRS="$scratch/home/xdg" \
        XDG_DATA_DIRS="$scratch/share" xdg-mime query default "$1"
}
for type in text/vcard text/x-vcard text/directory; do
    [[ "$(default_for "$type")" == example.brenmoor.quillory.desktop ]] \
        || fail "Quillory is not the default application for $type"
done
[[ -z "$(default_for inode/directory)" ]] || fail "Quillory is the default application for folders"

# The check catches a package without its copyright file: the same package, repacked
# without it (and its checksum), must fail check_contents.
broken="$scratch/broken"
dpkg-deb -R "$deb" "$broken"
rm "$broken/usr/share/doc/quillory/copyright"
sed -i '\| usr/share/doc/quillory/copyright$|d' "$broken/DEBIAN/md5sums"
dpkg-deb --root-owner-group -b "$broken" "$broken.deb" >/dev/null
if report="$(check_contents "$broken.deb" 2>&1)"; then
    fail "a package without its copyright file passes the check"
elif ! grep -q 'no-copyright-file' <<<"$report" \
    || ! grep -q 'no usr/share/doc/quillory/copyright' <<<"$report"; then
    fail "the check of a package without its copyright file does not name it: $report"
else
    echo "without its copyright file the package fails the check, as it should"
fi

if ((failures > 0)); then
    echo "package check: $failures failure(s)" >&2
    exit 1
fi
echo "package check: $(basename "$deb") is sound"
