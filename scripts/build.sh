#!/usr/bin/env bash
# Configures and builds everything into build/ (or $CORVANE_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh "$@"
dir="${CORVANE_BUILD_DIR:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$dir" -j"$(nproc)"
