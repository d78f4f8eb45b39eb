#!/usr/bin/env bash
# Sets up and builds the launcher, stages the demo folder build/demo (the
# launcher beside Install/ and GameData/, as it expects to live) and starts it
# there. Without a display it runs itself again on a private Xvfb desktop with
# openbox (scripts/desktop.sh), where it starts the launcher, saves a
# screenshot of its window, says where, and ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=$PWD/build/demo
shot=$PWD/build/demo-screenshot.png

if [[ ${1:-} != --screenshot ]]; then
  scripts/setup.sh default
  cmake --build --preset default --target demo
  if [[ -n "${DISPLAY:-}" ]]; then
    exec "$demo/Quarvel"
  fi
  exec scripts/desktop.sh "$0" --screenshot
fi

xdotool mousemove 5 5  # away from where the window appears
"$demo/Quarvel" &
quarvel=$!
trap 'kill $quarvel 2>/dev/null && wait $quarvel 2>/dev/null || true' EXIT
# The window as the X server placed it, once it is mapped and has drawn.
window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$quarvel" | head -n1) || true
sleep 1
if [[ -z $window ]] || ! kill -0 "$quarvel" 2>/dev/null; then
  echo "The launcher did not start or ended at once." >&2
  exit 1
fi
read -r x y width height < <(xwininfo -id "$window" | awk '
  /Absolute upper-left X:/ {x = $NF} /Absolute upper-left Y:/ {y = $NF}
  /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}')
import -window root -crop "${width}x${height}+${x}+${y}" "$shot"
echo "No display here: the launcher ran on a private Xvfb desktop ($DISPLAY)."
echo "Screenshot of its ${width} x ${height} window at ($x, $y): $shot"
