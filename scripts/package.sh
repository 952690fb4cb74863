#!/usr/bin/env bash
# Builds everything, then the Debian package dist/corvane_<version>_amd64.deb
# (in the build folder), its dependencies computed from the programs.
# --lint also runs lintian on it.
set -euo pipefail
cd "$(dirname "$0")/.."
lint=0
[ "${1:-}" = "--lint" ] && lint=1
scripts/install-deps.sh --package $([ $lint = 1 ] && echo --lint)
scripts/build.sh
dir="${CORVANE_BUILD_DIR:-build}"
rm -f "$dir"/dist/corvane_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/dist/corvane_*.deb)
echo "$deb"
if [ $lint = 1 ]; then
  lintian --info --no-tag-display-limit "$deb" || true
fi
