#!/usr/bin/env bash
# Draws docs/contact_sheet.png, the README's picture of one run: twelve moments
# captured off screen by tarnwick_capture, each labelled with its tick, its
# time, the effect on and what the viewer sees there.
#
#   tools/contact_sheet.sh [build folder [sheet]]   (default: build, docs/contact_sheet.png)
#
# Needs ImageMagick's montage and the DejaVu fonts. The moments at 50, 800,
# 1075, 3000 and 6500 are those of the golden-frame test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
sheet="${2:-$root/docs/contact_sheet.png}"

# tick|effect|what is on screen
moments=(
  "50|motion blur|the first view: the town under the night sky"
  "400|motion blur|down into the streets"
  "800|motion blur|the flight between the houses"
  "1075|bloom|the reveal and the zap's shake"
  "1600|bloom|the armillary sphere"
  "2600|bloom|the lantern tower"
  "3000|bloom|turning to the next sculpture"
  "3600|bloom|the crystal on its pedestal"
  "4600|bloom|the clock on its column"
  "5600|bloom|the fire urn"
  "6500|motion blur|the final orbit of the square"
  "6720|motion blur|the jump back, just before the end"
)

# tools/setup.sh installs both; say so at once, not after minutes of capture.
fonts="$(montage -list font 2> /dev/null || true)"
if ! grep -q 'DejaVu-Sans$' <<< "$fonts"; then
  echo "contact_sheet.sh needs ImageMagick's montage and the DejaVu fonts: apt-get install imagemagick fonts-dejavu-core" >&2
  exit 1
fi

cmake --build "$build" --target tarnwick_capture
frames="$(mktemp -d /tmp/tarnwick-sheet-XXXXXX)"
trap 'rm -rf "$frames"' EXIT

ticks=""
for moment in "${moments[@]}"; do ticks="${ticks:+$ticks,}${moment%%|*}"; done
"$build/tools/capture/tarnwick_capture" --run-dir "$build/run" --quiet --fps 25 --downscale 2 \
  --ticks "$ticks" --out "$frames"

tiles=()
for moment in "${moments[@]}"; do
  tick="${moment%%|*}"
  rest="${moment#*|}"
  effect="${rest%%|*}"
  what="${rest#*|}"
  seconds="$(awk -v t="$tick" 'BEGIN { printf "%.1f", t / 50 }')"
  tiles+=(-label "tick $tick  ($seconds s)  $effect\n$what" "$(printf '%s/tick_%05d.png' "$frames" "$tick")")
done

mkdir -p "$(dirname "$sheet")"
montage "${tiles[@]}" -tile 4x3 -geometry 320x240+5+5 \
  -font DejaVu-Sans -pointsize 12 -fill '#e8e8e8' -background '#161616' \
  -title "Tarnwick!  one run, 134.7 s, captured at 25 fps" \
  -strip -depth 8 -define png:compression-level=9 "$sheet"
echo "Contact sheet: $sheet ($(du -k "$sheet" | cut -f1) KiB)"
