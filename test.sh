#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
ensure_packages "${SHELVARA_BUILD_PACKAGES[@]}" "${SHELVARA_GUI_PACKAGES[@]}" "${SHELVARA_TEST_PACKAGES[@]}"

echo "== format check" >&2
git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSHELVARA_SANITIZE=ON -DSHELVARA_WERROR=ON \
    -DBUILD_TESTING=ON -DSHELVARA_BUILD_BENCH=ON >&2
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "$@"

# The engine suites whose workers share the catalogue (scan, resynchronisation, duplicate
# search, the lock, the INPX import, the OPDS server), again under ThreadSanitizer.
echo "== thread sanitizer" >&2
tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSHELVARA_TSAN=ON -DSHELVARA_WERROR=ON \
    -DSHELVARA_BUILD_GUI=OFF -DSHELVARA_BUILD_BENCH=OFF >&2
cmake --build "$tsan" -j"$(nproc)" --target scan_tests dups_tests catalogue_tests opds_tests
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
ctest --test-dir "$tsan" --output-on-failure --no-tests=error -j"$(nproc)" -L core \
    -R '^(FolderSyncTest|ResyncTest|PackerTest|DupSearchTest|CatalogueLockTest|InpxImportTest|Served)\.|^SVDTest\.BooksWrittenOnEveryCore' "$@"
