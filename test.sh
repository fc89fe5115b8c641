#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Tests that need a window
# get a private Xvfb server of their own.
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"

install_missing_packages
# Our own checks: warnings are errors here (never in a user's build). Release
# is built too, in a folder of its own: its optimiser warns where
# RelWithDebInfo does not, and it is what a packager builds first.
build_project "$TARNWICK_ROOT/build" -DTARNWICK_WERROR=ON
build_project "$TARNWICK_ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DTARNWICK_WERROR=ON

# A free display number, so a second run beside a desktop or another Xvfb works.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
  display=$((display + 1))
done
Xvfb ":${display}" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display}" ] && break
  sleep 0.1
done
export DISPLAY=":${display}"

cd "$TARNWICK_ROOT/build"
ctest --output-on-failure --parallel "$(nproc)" "$@"

# The sanitizer build (unit tests and a short headless capture under ASan and
# UBSan) and a short fuzzing pass, each in a build folder of its own.
"$TARNWICK_ROOT/tools/sanitize.sh"
"$TARNWICK_ROOT/tools/fuzz.sh" 20
