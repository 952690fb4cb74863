#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
# Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --fuzz
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF >/dev/null
ninja -C "$dir" -j"$(nproc)" $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
for src in fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  mkdir -p "$dir/corpus/$name"
  "$dir/bin/$name" -max_total_time="${1:-60}" -print_final_stats=1 "$dir/corpus/$name"
done
