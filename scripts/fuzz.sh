#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and either
#   scripts/fuzz.sh [seconds per target]   fuzzes each target, starting from
#       its corpus in fuzz/corpus/<target>/, and merges what finds new code
#       paths back into that corpus (minimised), to be committed;
#   scripts/fuzz.sh --replay               runs every input of the corpora
#       once, so that a crash found once stays fixed (the test command runs it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --fuzz
dir="${CORVANE_FUZZ_DIR:-build-fuzz}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF >/dev/null
targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
ninja -C "$dir" -j"$(nproc)" corvane-decode $targets
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

for name in $targets; do
  corpus="fuzz/corpus/$name"
  mkdir -p "$corpus"
  if [ "${1:-}" = "--replay" ]; then
    echo "== $name: $(ls "$corpus" | wc -l) inputs" >&2
    "$dir/bin/$name" -runs=0 "$corpus"
  else
    work="$dir/corpus/$name"
    mkdir -p "$work"
    "$dir/bin/$name" -max_total_time="${1:-60}" -max_len=4096 -print_final_stats=1 "$work" "$corpus"
    "$dir/bin/$name" -merge=1 -max_len=4096 "$corpus" "$work"
  fi
done
