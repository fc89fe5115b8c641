#!/usr/bin/env bash
# Checks the release page (dist/index.html, written by tools/release.sh) in
# headless Chromium: the video loads and plays, every link and picture is a
# file of the release, the sums are right, and it fits a phone. Screenshots
# of the page at 1280 and 390 pixels wide go to build/page-shots/.
#
#   tools/check_page.sh [DIST]     (default: dist)
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"

install_missing_packages "${TARNWICK_PAGE_CHECK_PACKAGES[@]}"
dist="$(readlink -f "${1:-$TARNWICK_ROOT/dist}")"
build="$TARNWICK_ROOT/build"
configure_project "$build"
cmake --build "$build" --parallel "$(nproc)" --target test_release_page
shots="$build/page-shots"
mkdir -p "$shots"
TARNWICK_DIST="$dist" TARNWICK_PAGE_SHOTS="$shots" "$build/tests/test_release_page"
