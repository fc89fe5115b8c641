#!/usr/bin/env bash
# Samples the whole run every half second of demo time (every 25 ticks, at
# 25 frames per second, as the golden frames and the video are captured) and
# prints each sample's share of burnt-out pixels (every channel 250 or above)
# and of pure black ones (every channel 3 or below), then the worst of each.
# Exits 1 when a sample has more than 2 % burnt out or 3 % pure black.
#
#   tools/exposure_report.sh [build folder]      (default: build)
#
# It renders in software: about two minutes on the 2-core floor machine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

cmake --build "$build" --target tarnwick_capture
ticks="$(seq -s, 0 25 6725)"
report="$("$build/tools/capture/tarnwick_capture" --run-dir "$build/run" --quiet --fps 25 --report --ticks "$ticks" \
  | tr '\r' '\n' | grep -E '^(tick|Worst)')"
echo "$report"
! grep -q '  over$' <<<"$report"
