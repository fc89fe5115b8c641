#!/usr/bin/env bash
# Drives the viewer as a demo maker would, with keys sent to its window under
# an X server of its own, and prints its resident memory every 50 operations:
# 300 seeks, 60 shader writes and 15 content reloads, interleaved (20 seeks,
# 4 shader writes and one reload per round), then each reload's memory before
# and after.
#
#   tools/viewer_soak.sh [BUILD_DIR]     (default: build)
#   SOAK_ROUNDS=3 tools/viewer_soak.sh   (a shorter run: 25 operations a round)
#
# It works on a scratch copy of the run folder; the run folder itself is only read.
set -euo pipefail

build="$(cd "${1:-build}" && pwd)"
viewer_binary="$build/tools/viewer/tarnwick_viewer"
[ -x "$viewer_binary" ] || { echo "no viewer at $viewer_binary: build the tarnwick_viewer target" >&2; exit 2; }

work="$(mktemp -d /tmp/tarnwick-soak.XXXXXX)"
run="$work/run"
mkdir -p "$run/scene"
ln -s "$build/run/tex" "$run/tex"
ln -s "$build/run/sound" "$run/sound"
cp "$build/run/scene/"*.DAE "$run/scene/"
cp -r "$build/run/shaders" "$run/shaders"
log="$work/viewer.log"

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset > /dev/null 2>&1 &
xvfb=$!
viewer=""
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2> /dev/null || true
  kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The null device: the music plays and is steered without sound hardware.
ALSOFT_DRIVERS=null ALSOFT_LOGLEVEL=0 "$viewer_binary" --run-dir "$run" --tick 1500 > "$log" 2>&1 &
viewer=$!

title() { xdotool getwindowname "$window" 2> /dev/null || true; }
window=""
for _ in $(seq 600); do
  window="$(xdotool search --name '^Tarnwick! viewer' 2> /dev/null | head -1 || true)"
  [ -n "$window" ] && [[ "$(title)" == *" tick 1500 |"* ]] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the viewer did not open:" >&2; cat "$log" >&2; exit 1; }

resident() { awk '/^VmRSS/ { printf "%.0f", $2 / 1024 }' "/proc/$viewer/status"; }
count() { grep -c "$1" "$log" || true; }
# Waits until the log holds more than before lines with the text.
wait_count() {
  for _ in $(seq 1200); do
    [ "$(count "$1")" -gt "$2" ] && return 0
    kill -0 "$viewer" 2> /dev/null || { echo "the viewer ended:" >&2; tail -20 "$log" >&2; exit 1; }
    sleep 0.05
  done
  echo "timed out waiting for: $1" >&2
  exit 1
}
wait_title() {
  for _ in $(seq 1200); do
    [[ "$(title)" == *"$1"* ]] && return 0
    sleep 0.05
  done
  echo "timed out waiting for the title to show: $1 (it shows $(title))" >&2
  exit 1
}

operations=0
seeks=0
shader_writes=0
reloads=0
reload_figures=""
after_operation() {
  operations=$((operations + 1))
  if [ $((operations % 50)) -eq 0 ]; then
    printf '%4d operations (%3d seeks, %2d shader writes, %2d reloads): %5d MB resident\n' \
      "$operations" "$seeks" "$shader_writes" "$reloads" "$(resident)"
  fi
}

printf '   0 operations at the start: %d MB resident\n' "$(resident)"
for round in $(seq "${SOAK_ROUNDS:-15}"); do
  for i in $(seq 20); do
    # Right and Left by turns: between ticks 1500 and 1550.
    if [ $((i % 2)) -eq 1 ]; then key=Right; tick=1550; else key=Left; tick=1500; fi
    before=$(count "Seek to tick")
    xdotool key --window "$window" "$key"
    wait_count "Seek to tick" "$before"
    wait_title " tick $tick |"
    seeks=$((seeks + 1))
    after_operation
  done
  for i in $(seq 4); do
    before=$(count "Shaders rebuilt")
    echo "// soak $round.$i" >> "$run/shaders/pureQuad.frag"
    wait_count "Shaders rebuilt" "$before"
    shader_writes=$((shader_writes + 1))
    after_operation
  done
  before=$(count "Scenes loaded again")
  memory_before=$(resident)
  cp "$build/run/scene/main2.DAE" "$run/scene/main2.tmp"
  mv "$run/scene/main2.tmp" "$run/scene/main2.DAE"
  wait_count "Scenes loaded again" "$before"
  reloads=$((reloads + 1))
  reload_figures+="$(printf 'reload %2d: %5d MB before, %5d MB after' "$reloads" "$memory_before" "$(resident)")"$'\n'
  after_operation
done
printf '%4d operations (%3d seeks, %2d shader writes, %2d reloads): %5d MB resident at the end\n' \
  "$operations" "$seeks" "$shader_writes" "$reloads" "$(resident)"
printf '%s' "$reload_figures"
xdotool key --window "$window" Escape
wait "$viewer" && viewer=""
