#!/bin/bash
# Into and out of full screen, watched at one point of the screen: the viewer on a green
# picture (its neighbour red, decoded ahead) in Xvfb 1280 x 1024 with openbox, its window
# centred on the screen; three rounds of F11, then Escape a second later, while
# bench/tools/pixelwatch prints each change of the pixel at X, Y. Any colour but green and
# the screen's own while the window changes is a frame of something else.
# Usage: bench/fullscreen_flash.sh TESSALY PIXELWATCH X Y
set -euo pipefail
app_exe=$1 watch=$2 x=$3 y=$4
work=$(mktemp -d)
convert -size 1600x1200 xc:'rgb(20,200,40)' ppm:- | cjpeg -quality 95 > "$work/a.jpg"
convert -size 1600x1200 xc:'rgb(200,40,20)' ppm:- | cjpeg -quality 95 > "$work/b.jpg"
export DISPLAY=:231
Xvfb :231 -screen 0 1280x1024x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
openbox --sm-disable >/dev/null 2>&1 & wm=$!
sleep 1
export XDG_RUNTIME_DIR=$work
"$app_exe" "$work/a.jpg" "$work/b.jpg" >"$work/app.log" 2>&1 & app=$!
trap 'kill $app $wm $xvfb 2>/dev/null; rm -rf "$work"' EXIT
window=$(xdotool search --sync --onlyvisible --pid $app | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowmove "$window" $((640 - WIDTH / 2)) $((512 - HEIGHT / 2))
sleep 1
xdotool getwindowgeometry "$window"
for round in 1 2 3; do
  echo "round $round (F11 at about 300 ms, Escape 1 s later):"
  "$watch" "$x" "$y" 2500 &
  watcher=$!
  sleep 0.3
  xdotool windowactivate --sync "$window" key F11
  sleep 1.0
  xdotool key Escape
  wait $watcher
  xdotool getwindowgeometry "$window"
done
