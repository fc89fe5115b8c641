#!/usr/bin/env bash
# Records the golden frames in tests/golden/ afresh from the current tree.
# Run it after a change to the picture that is meant, look at the new images,
# and commit them with the change:
#
#   tools/update_golden.sh [build folder]      (default: build)
#
# The moments and the capture settings are the ones test_golden_frames checks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
ticks="50,800,1075,3000,6500"

cmake --build "$build" --target tarnwick_capture
golden="$root/tests/golden"
mkdir -p "$golden"
rm -f "$golden"/tick_*.png
"$build/tools/capture/tarnwick_capture" --run-dir "$build/run" --fps 25 --downscale 4 \
  --ticks "$ticks" --out "$golden" | grep -v -e ' loaded' -e 'bound to' -e 'compiled successfully' -e '^$'
echo "New references in $golden:"
ls -l "$golden"
