#!/usr/bin/env bash
# A release in one command: a clean Release build, then into dist/ the .deb,
# the .tar.gz, the whole run as MP4s with the music (1024 x 768 at 25 fps and
# 1920 x 1080 at 50 fps, recorded off screen as run.sh records it without a
# display), the contact sheet, three screenshots, SHA256SUMS and index.html,
# the release's page. The .deb must pass lintian and its AppStream metadata
# appstreamcli's validation first.
#
#   tools/release.sh
#
# The captures render 3368 frames at 1024 x 768 and 6735 at 1920 x 1080 in
# software: the best part of an hour on the floor machine.
# tools/check_page.sh then checks the page in a browser.
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"
started=$(date +%s)

install_missing_packages "${TARNWICK_RELEASE_PACKAGES[@]}"
build="$TARNWICK_ROOT/build-dist"
dist="$TARNWICK_ROOT/dist"
rm -rf "$build" "$dist"
configure_project "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --parallel "$(nproc)" --target tarnwick tarnwick_capture tarnwick_viewer package_files

mkdir -p "$dist"
(cd "$build" && cpack -G "DEB;TGZ" -B "$build/packages")
cp "$build"/packages/*.deb "$build"/packages/*.tar.gz "$dist/"

# Debian's and AppStream's own checks, on the .deb as it ships: any tag of
# lintian's, down to the pedantic ones, and any remark of the AppStream
# validator stop the release with their output. --no-net: the home page and
# the screenshots' addresses are on the project's host, which the machine
# that makes the release need not reach.
deb="$(ls "$dist"/*.deb)"
echo "lintian on $(basename "$deb"):"
lintian --info --pedantic --fail-on error,warning,info,pedantic "$deb"
echo "lintian: no tag"
deb_tree="$build/deb-tree"
dpkg-deb -x "$deb" "$deb_tree"
echo "appstreamcli on the metainfo file, then on the package's tree:"
appstreamcli validate --no-net --strict --pedantic "$deb_tree"/usr/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net --strict --pedantic "$deb_tree"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
echo "Recording the whole run to dist/tarnwick-$version.mp4 (off screen, 25 frames per second)"
(cd "$build/run" && "$build/tools/capture/tarnwick_capture" --quiet --fps 25 --out "$dist/tarnwick-$version.mp4")
# The same run for big screens and video sites: 1920 x 1080, one frame per
# tick. On the software rasteriser this is the long part of a release (about
# an hour on the 2-core floor machine); the capture's line counts it down.
echo "Recording the whole run to dist/tarnwick-$version-1080p50.mp4 (1920 x 1080, 50 frames per second)"
(cd "$build/run" && "$build/tools/capture/tarnwick_capture" --quiet --size 1920x1080 --fps 50 \
  --out "$dist/tarnwick-$version-1080p50.mp4")
"$TARNWICK_ROOT/tools/contact_sheet.sh" "$build" "$dist/tarnwick-$version-contact-sheet.png"

# The screenshots the AppStream metadata names, each a frame at the tick its
# name carries, at full size; the repository keeps them in docs/screenshots/
# (commit them when they changed). Then the page, with the poster and the
# sums of every file.
metainfo="$(ls "$build"/tools/package/*.metainfo.xml)"
ticks="$(grep -o 'tick_[0-9]*' "$metainfo" | sed 's/^tick_0*\([0-9]\)/\1/' | paste -s -d ,)"
echo "Rendering the screenshots at ticks $ticks"
"$build/tools/capture/tarnwick_capture" --run-dir "$build/run" --quiet --fps 50 --ticks "$ticks" \
  --out "$build/screenshots"
mkdir -p "$TARNWICK_ROOT/docs/screenshots"
for frame in "$build"/screenshots/tick_*.png; do
  shot="$TARNWICK_ROOT/docs/screenshots/$(basename "$frame" .png).jpg"
  convert "$frame" -strip -quality 90 -sampling-factor 4:4:4 "$shot"
  cp "$shot" "$dist/tarnwick-$version-$(basename "$shot")"
done
"$TARNWICK_ROOT/tools/release_page.sh" "$dist" "$version" "$metainfo" > /dev/null

echo
echo "Release $version in $dist:"
(cd "$dist" && ls -l --block-size=K -- *)
elapsed=$(( $(date +%s) - started ))
printf 'Done in %d min %02d s\n' $((elapsed / 60)) $((elapsed % 60))
echo "The release page: $dist/index.html"
echo "Check it in a browser: tools/check_page.sh"
