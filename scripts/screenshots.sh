#!/usr/bin/env bash
# Runs the desktop program under Xvfb on a library and saves a picture of each tab, of the book
# panels docked, tabbed and floating, and of the settings window:
#   scripts/screenshots.sh [LIBRARY [OUTDIR]]   (default: the shared corpus scanned into a
#   temporary library; pictures in docs/screenshots)
# The program's settings go to a temporary folder, so the user's own are not touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/deps.sh"
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}" "${SHELVARA_GUI_PACKAGES[@]}" xvfb xauth
out="$(realpath -m "${2:-$root/docs/screenshots}")"
mkdir -p "$out"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
cmake --build "$build" --target shelvara shelvara-cli >&2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [[ -n "${1:-}" ]]; then
    library="$(realpath "$1")"
else
    # The corpus is read where it lies; only the library file is written. A second mount point
    # of nested folders holds copies of some corpus books (duplicates to find) and loses one
    # file after the scan (a lost book to find).
    library="$work/corpus.sv2"
    corpus="$(realpath "$root/../shared/corpus")"
    shelf="$work/Полка"
    mkdir -p "$shelf/Классика/Поэзия" "$shelf/Разное"
    cp "$corpus"/fb2/fbreaderj/whiteguard.fb2 "$corpus"/fb2/fbreaderj/poem.fb2 "$shelf/Классика/"
    cp "$corpus"/fb2/fbreaderj/poem.fb2 "$shelf/Классика/Поэзия/poem-copy.fb2"
    cp "$corpus"/fb2/fbreaderj/whiteguard.fb2 "$shelf/Разное/whiteguard-2.fb2"
    cp "$corpus"/fb2/fbreaderj/testfb2book.fb2 "$shelf/Разное/"
    # A picture book: the cover of a corpus book as a file of its own.
    "$build/src/cli/shelvara-cli" fb2 "$corpus"/fb2/fbreaderj/image.fb2 --cover "$shelf/Разное/Обложка.png" >&2 ||
        true
    "$build/src/cli/shelvara-cli" scan "$library" "$corpus" "$shelf" >&2
    rm "$shelf/Разное/testfb2book.fb2"
fi
mkdir -p "$work/config"
# The captions as the program shows them to its Russian readers.
LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 XDG_CONFIG_HOME="$work/config" xvfb-run -a -s "-screen 0 1280x800x24" "$build/src/app/shelvara" --screenshots "$out" "$library"
ls "$out"
