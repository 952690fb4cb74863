#!/usr/bin/env bash
# Builds everything and runs the whole test suite; builds the Debian package
# and checks it as installed; then builds the tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them, and replays
# the fuzz corpora under the same sanitizers.
#
#   scripts/test.sh --quick   builds and runs the test suite alone
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
for arg in "$@"; do
  case "$arg" in
    --quick) quick=true ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done

scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${CORVANE_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
$quick && exit 0

scripts/package.sh
scripts/test-package.sh

san="${CORVANE_SANITIZE_DIR:-build-sanitize}"
cmake -S . -B "$san" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON \
      -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF >/dev/null
ninja -C "$san" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt" ctest --test-dir "$san" --output-on-failure -j"$(nproc)"

# Every input the fuzzers ever kept, once more under the sanitizers.
scripts/fuzz.sh --replay
