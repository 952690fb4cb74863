#!/usr/bin/env bash
# Checks the Debian package as a user would meet it: unpacked into a
# temporary root, its desktop entries and metadata validated, the installed
# corvane taken through a key, an encryption and a decryption, and each
# installed window program started under Xvfb until its window shows.
#
# Installed programs keep their files in ~/Corvane, never beside themselves,
# for root too. Run as root (CI), the programs run as a throwaway user whose
# $HOME differs from the home folder of the password database ($HOME wins),
# and the command runs once more as root; run as another user, they run with
# a $HOME of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
dir="${CORVANE_BUILD_DIR:-build}"
deb=$(ls "$dir"/dist/corvane_*.deb 2>/dev/null | head -n 1 || true)
[ -n "$deb" ] || { echo "test-package: no package in $dir/dist: run scripts/package.sh" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-package-XXXXXX")"
user=""
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  [ -n "$user" ] && userdel "$user" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "test-package: $*" >&2; exit 1; }

root="$work/root"
dpkg -x "$deb" "$root"
echo "== $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -f "$deb" Installed-Size) KiB installed" >&2
echo "   Depends: $(dpkg-deb -f "$deb" Depends)" >&2

# What must be there.
for f in usr/bin/corvane usr/bin/corvane-keygen usr/bin/corvane-encrypt usr/bin/corvane-decrypt \
         usr/libexec/corvane/corvane-decode \
         usr/share/doc/corvane/copyright usr/share/doc/corvane/changelog.gz; do
  [ -e "$root/$f" ] || fail "missing /$f"
done
# Only programs run from their build folder keep their files beside themselves.
[ ! -e "$root/usr/bin/corvane-build-tree" ] || fail "the package installs the build folder's marker"
cmp -s LICENSE /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL-3.0 text"
grep -q "^License: GPL-3.0-or-later" "$root/usr/share/doc/corvane/copyright" || fail "copyright names no licence"
grep -rlI "example\.\(org\|com\)" "$root" && fail "placeholder addresses in the package"
dpkg-deb -f "$deb" Recommends | grep -q fonts-noto-color-emoji || fail "the package does not recommend an emoji font"
for p in keygen encrypt decrypt; do
  [ -e "$root/usr/share/icons/hicolor/scalable/apps/corvane-$p.svg" ] || fail "missing the scalable icon of corvane-$p"
  for s in 16 32 48 64 128 256; do
    f="$root/usr/share/icons/hicolor/${s}x${s}/apps/corvane-$p.png"
    file "$f" | grep -q "PNG image data, $s x $s" || fail "icon $f is not a $s x $s PNG"
  done
done
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml >&2
for page in corvane corvane-keygen corvane-encrypt corvane-decrypt; do
  f="$root/usr/share/man/man1/$page.1.gz"
  [ -f "$f" ] || fail "missing the manual page of $page"
  zcat "$f" | groff -man -ww -z 2>&1 | (! grep .) || fail "the manual page of $page has warnings"
done

# The user who runs the installed programs.
chmod 755 "$work"
mkdir "$work/home"
if [ "$(id -u)" = 0 ]; then
  user="corvane-check-$$"
  useradd --home-dir "$work/pwhome" --create-home --shell /bin/sh "$user"
  chown "$user:" "$work/home"
  as_user() { setpriv --reuid="$user" --regid="$user" --init-groups env HOME="$work/home" "$@"; }
else
  as_user() { env HOME="$work/home" "$@"; }
fi
files="$work/home/Corvane"
bin="$root/usr/bin"
version=$("$bin/corvane" --version)
echo "$version" | grep -q "$(dpkg-deb -f "$deb" Version)" || fail "corvane --version says '$version'"

# The command, from the installed tree, through the working folders.
log="$work/corvane.log"
as_user "$bin/corvane" keygen --series check --count 1 --naming number --width 700 --height 500 >"$log" 2>&1 ||
  { cat "$log" >&2; fail "corvane keygen failed"; }
key="$files/Keys/check/00001.png"
[ -f "$key" ] || fail "no key at $key"
message="Checked from the installed package: caf$(printf '\xc3\xa9') $(printf '\xe2\x98\x95')"
cp testdata/photos/coffee.png "$work/carrier.png"
chmod 644 "$work/carrier.png"
image=$(as_user "$bin/corvane" encrypt --carrier "$work/carrier.png" --key "$key" --message "$message" 2>"$log") ||
  { cat "$log" >&2; fail "corvane encrypt failed"; }
case "$image" in "$files/Encrypted Images/"*) ;; *) fail "the image went to '$image', not to $files" ;; esac
read_back=$(as_user "$bin/corvane" decrypt --image "$image" --key "$key" 2>"$log") ||
  { cat "$log" >&2; fail "corvane decrypt failed"; }
[ "$read_back" = "$message" ] || fail "decrypted '$read_back', expected '$message'"
echo "== installed corvane: key, encryption and decryption in $files" >&2
[ ! -e "$work/pwhome/Corvane" ] || fail "\$HOME was ignored: files went to the password database's home folder"

# Root can write /usr/bin, and still gets its files in its home folder.
if [ "$(id -u)" = 0 ]; then
  mkdir "$work/roothome"
  HOME="$work/roothome" "$bin/corvane" keygen --series root --count 1 --naming number --width 64 --height 64 \
    >"$log" 2>&1 || { cat "$log" >&2; fail "corvane keygen as root failed"; }
  [ -f "$work/roothome/Corvane/Keys/root/00001.png" ] || fail "root's key is not in root's ~/Corvane"
  echo "== installed corvane as root: key in ~/Corvane" >&2
fi

# Each window program, until its window shows; it lists the folders it made.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
for p in "corvane-keygen:Corvane-\\[Generate Keys\\]" "corvane-encrypt:Corvane-\\[Encrypt\\]" \
         "corvane-decrypt:Corvane-\\[Decrypt\\]"; do
  program="${p%%:*}"
  title="${p#*:}"
  # On the X server, whatever platform the tests before asked for.
  as_user env -u QT_QPA_PLATFORM DISPLAY="$display" "$bin/$program" >"$work/$program.log" 2>&1 &
  pid=$!
  shown=""
  for _ in $(seq 50); do
    shown=$(DISPLAY="$display" xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1 || true)
    [ -n "$shown" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$shown" ] || { cat "$work/$program.log" >&2; fail "$program showed no window"; }
  echo "== installed $program: window shown" >&2
done
for folder in Images Keys "Encrypted Images"; do
  [ -d "$files/$folder" ] || fail "the programs did not make $files/$folder"
  [ ! -e "$bin/$folder" ] || fail "an installed program wrote $bin/$folder"
done
echo "== package checked" >&2
