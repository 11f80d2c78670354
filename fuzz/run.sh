#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS (default 600).
# Usage: fuzz/run.sh [SECONDS] [TARGET...]   Crashes are left in build/fuzz/artifacts/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/deps.sh"
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}" clang libclang-rt-14-dev
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_fb2 fuzz_library fuzz_zip fuzz_format)
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSHELVARA_FUZZ=ON -DBUILD_TESTING=OFF -DSHELVARA_BUILD_GUI=OFF >&2
cmake --build "$build" --target "${targets[@]}" >&2
mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  if [ "$target" = fuzz_fb2 ] && [ -d "$root/../shared/corpus/fb2" ]; then seeds=("$root/../shared/corpus/fb2"); fi
  if [ "$target" = fuzz_library ] && [ -d "$root/tests/data/libraries" ]; then seeds=("$root/tests/data/libraries"); fi
  if [ "$target" = fuzz_zip ] && [ -d "$root/../shared/corpus/fb2" ]; then seeds=("$root/../shared/corpus/fb2"); fi
  # The reader's paths are all met within small inputs: whole books as seeds, cut to 64 KB, with
  # its tags as a dictionary, run several times faster and cover more.
  options=(-max_len=1048576)
  if [ "$target" = fuzz_fb2 ]; then options=(-max_len=65536 -dict="$root/fuzz/fb2.dict"); fi
  echo "== $target for $seconds s" >&2
  "$build/fuzz/$target" -max_total_time="$seconds" "${options[@]}" -rss_limit_mb=4096 -timeout=20 \
    -artifact_prefix="$build/artifacts/$target-" "$corpus" "${seeds[@]}"
done
