#!/usr/bin/env bash
# Builds Shelvara in release mode and starts it: ./run.sh [LIBRARY] opens the desktop program
# (on a library file, else the last one); ./run.sh cli COMMAND ... runs shelvara-cli instead.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/scripts/deps.sh"
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}" "${SHELVARA_GUI_PACKAGES[@]}"
build="$root/build/release"
# Build output goes to stderr so that the program's own output stays clean.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF >&2
cmake --build "$build" --target shelvara shelvara-cli >&2
if [ "${1:-}" = cli ]; then
  shift
  exec "$build/src/cli/shelvara-cli" "$@"
fi
exec "$build/src/app/shelvara" "$@"
