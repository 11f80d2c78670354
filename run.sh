#!/usr/bin/env bash
# Builds Shelvara in release mode and runs it with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/scripts/deps.sh"
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}"
build="$root/build/release"
# Build output goes to stderr so that the program's own output stays clean.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSHELVARA_BUILD_TESTS=OFF -DSHELVARA_BUILD_BENCH=OFF >&2
cmake --build "$build" --target shelvara-cli >&2
exec "$build/src/cli/shelvara-cli" "$@"
