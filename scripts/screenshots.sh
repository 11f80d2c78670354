#!/usr/bin/env bash
# Runs the desktop program under Xvfb on a library and saves a picture of each tab and of the
# settings window: scripts/screenshots.sh LIBRARY [OUTDIR] (default docs/screenshots).
# The program's settings go to a temporary folder, so the user's own are not touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/deps.sh"
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}" "${SHELVARA_GUI_PACKAGES[@]}" xvfb xauth
library="$(realpath "${1:?usage: scripts/screenshots.sh LIBRARY [OUTDIR]}")"
out="$(realpath -m "${2:-$root/docs/screenshots}")"
mkdir -p "$out"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
cmake --build "$build" --target shelvara >&2
config="$(mktemp -d)"
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME="$config" xvfb-run -a -s "-screen 0 1280x800x24" "$build/src/app/shelvara" --screenshots "$out" "$library"
ls "$out"
