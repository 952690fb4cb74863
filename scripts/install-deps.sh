#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev libfreeimage-dev libjxr-dev libtiff-dev zlib1g-dev libdeflate-dev libseccomp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)
for extra in "$@"; do
  case "$extra" in
    --bench) packages+=(steghide) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --screenshots) packages+=(xvfb xdotool imagemagick) ;;
    # Building the Debian package and checking it as installed.
    --package) packages+=(dpkg-dev file desktop-file-utils appstream groff-base xvfb xdotool passwd util-linux) ;;
    --lint) packages+=(lintian) ;;
    *) echo "install-deps: unknown option $extra" >&2; exit 2 ;;
  esac
done

# One query for all of them: nothing is printed and apt is not started when
# every package is there.
declare -A installed=()
while read -r name state; do
  [ "$state" = "install ok installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
