#!/usr/bin/env bash
# Starts each built window program under Xvfb with sample files in its
# working folders, picks them as a user would (keyboard), and writes a
# screenshot to docs/screenshots/<program>.png. Builds nothing: run
# scripts/build.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --screenshots
bin="${CORVANE_BUILD_DIR:-build}/bin"
case "$bin" in /*) ;; *) bin="$PWD/$bin" ;; esac
out="$PWD/docs/screenshots"
mkdir -p "$out"
work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-shots-XXXXXX")"
# The used-key ledger of these runs stays in the work folder, not the user's.
export XDG_DATA_HOME="$work/data"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY="$display"
sleep 1

# A program's own folder, as an installation would have it: the program,
# its decoder and its working folders with sample files.
stage() {
  local app="$work/$1"
  mkdir -p "$app/Keys" "$app/Encrypted Images" "$app/Images"
  # The build-tree marker: the program keeps its working folders beside itself.
  cp "$bin/$1" "$bin/corvane-decode" "$bin/corvane" "$bin/corvane-build-tree" "$app/"
  "$app/corvane" keygen --root "$work/keys" --series sample --naming number --width 800 --height 600 >/dev/null 2>&1
  cp "$work/keys/Keys/sample/00001.png" "$app/Keys/key-00001.png"
  cp testdata/photos/coffee.png "$app/Images/coffee.png"
  # The sample image is made with a ledger of its own, so that the window
  # meets the sample key as unused.
  XDG_DATA_HOME="$work/stage-data" "$app/corvane" encrypt --carrier testdata/photos/coffee.png --key "$app/Keys/key-00001.png" \
    --message "Meet me at the café at noon — bring the key. Привет!" \
    --output "$app/Encrypted Images/coffee-04711.png" >/dev/null 2>&1
  echo "$app"
}

# Waits for the program's window and gives it the keyboard.
window_of() {
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; return 1; }
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool windowfocus --sync "$id" >/dev/null 2>&1 || true
  sleep 0.5
  echo "$id"
}

# A click at a point of the window, in the window's own coordinates.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.8; }

if [ -x "$bin/corvane-decrypt" ]; then
  app=$(stage corvane-decrypt)
  "$app/corvane-decrypt" >/dev/null 2>&1 &
  pid=$!
  id=$(window_of "Corvane-\\[Decrypt\\]")
  # Xvfb has no window manager to give the keyboard away: the mouse picks
  # the first image, the first key, then presses "Decrypt Image".
  click "$id" 60 43
  click "$id" 450 43
  click "$id" 100 813
  sleep 2
  import -window "$id" "$out/corvane-decrypt.png"
  kill "$pid" 2>/dev/null || true
  echo "docs/screenshots/corvane-decrypt.png" >&2
fi

if [ -x "$bin/corvane-encrypt" ]; then
  app=$(stage corvane-encrypt)
  # A second carrier, for the batch.
  cp testdata/photos/astronaut.png "$app/Images/space.png"
  "$app/corvane-encrypt" >/dev/null 2>&1 &
  pid=$!
  id=$(window_of "Corvane-\\[Encrypt\\]")
  # The score first, so that picking the carrier scores it; then the key,
  # a message typed into the box, and "Encrypt Image".
  click "$id" 893 173
  click "$id" 60 43
  sleep 2
  click "$id" 500 43
  click "$id" 600 640
  xdotool type --delay 20 "Meet me at the café at noon — bring the key."
  sleep 0.5
  click "$id" 95 737
  sleep 3
  import -window "$id" "$out/corvane-encrypt.png"
  echo "docs/screenshots/corvane-encrypt.png" >&2
  # The steps viewer, over the planes of that encryption.
  click "$id" 1100 146
  steps=$(window_of "Corvane-\\[Steps\\]")
  sleep 1
  import -window "$steps" "$out/corvane-encrypt-steps.png"
  echo "docs/screenshots/corvane-encrypt-steps.png" >&2
  # Without a window manager, windows stack where they open: each side
  # window is taken off the screen before the next is opened.
  xdotool windowunmap "$steps"
  click "$id" 1100 146
  # About, after a batch over both carriers.
  click "$id" 1102 736
  about=$(window_of "^About\$")
  click "$about" 100 183
  sleep 4
  import -window "$about" "$out/corvane-encrypt-about.png"
  echo "docs/screenshots/corvane-encrypt-about.png" >&2
  xdotool windowunmap "$about"
  # The analysis of the first encrypted image against its carrier: picked
  # again, the carrier is the file as it stands. The file dialog takes the
  # path typed; then Diff, Calc, PSNR and Estimate.
  click "$id" 60 43
  sleep 2
  click "$id" 1016 736
  analysis=$(window_of "Image Analysis")
  click "$analysis" 50 23
  sleep 1.5
  xdotool type --delay 5 "$(ls "$app/Encrypted Images/"*.png | head -n 1)"
  xdotool key Return
  sleep 1.5
  click "$analysis" 30 201
  click "$analysis" 84 243
  click "$analysis" 84 274
  click "$analysis" 84 398
  sleep 1
  import -window "$analysis" "$out/corvane-encrypt-analysis.png"
  echo "docs/screenshots/corvane-encrypt-analysis.png" >&2
  kill "$pid" 2>/dev/null || true
fi

if [ -x "$bin/corvane-keygen" ]; then
  app=$(stage corvane-keygen)
  "$app/corvane-keygen" >/dev/null 2>&1 &
  pid=$!
  id=$(window_of "Corvane-\\[Generate Keys\\]")
  # A batch of 10 keys of the default size: the wheel over the number of
  # keys moves it from 1 to 10, then "Generate OTP Keys".
  xdotool mousemove --window "$id" 40 80 click 5
  sleep 0.5
  click "$id" 216 497
  sleep 3
  xdotool mousemove --window "$id" 600 560
  sleep 0.5
  import -window "$id" "$out/corvane-keygen.png"
  kill "$pid" 2>/dev/null || true
  echo "docs/screenshots/corvane-keygen.png" >&2
fi
