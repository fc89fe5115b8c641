#!/usr/bin/env bash
# A release in one command: a clean Release build, then into dist/ the .deb,
# the .tar.gz, the whole run as an MP4 with the music (recorded off screen,
# as run.sh records it without a display), the contact sheet and SHA256SUMS.
#
#   tools/release.sh
#
# The capture renders 3368 frames in software: minutes on the floor machine.
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"
started=$(date +%s)

install_missing_packages
build="$TARNWICK_ROOT/build-dist"
dist="$TARNWICK_ROOT/dist"
rm -rf "$build" "$dist"
configure_project "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --parallel "$(nproc)" --target tarnwick tarnwick_capture tarnwick_viewer package_files

mkdir -p "$dist"
(cd "$build" && cpack -G "DEB;TGZ" -B "$build/packages")
cp "$build"/packages/*.deb "$build"/packages/*.tar.gz "$dist/"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
echo "Recording the whole run to dist/tarnwick-$version.mp4 (off screen, 25 frames per second)"
(cd "$build/run" && "$build/tools/capture/tarnwick_capture" --quiet --fps 25 --out "$dist/tarnwick-$version.mp4")
"$TARNWICK_ROOT/tools/contact_sheet.sh" "$build" "$dist/tarnwick-$version-contact-sheet.png"

(cd "$dist" && sha256sum -- * > SHA256SUMS)
echo
echo "Release $version in $dist:"
(cd "$dist" && ls -l --block-size=K -- *)
elapsed=$(( $(date +%s) - started ))
printf 'Done in %d min %02d s\n' $((elapsed / 60)) $((elapsed % 60))
