#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo from its run folder.
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"

install_missing_packages
build_project "$TARNWICK_ROOT/build"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the demo needs a window; run ./run.sh from a desktop session (or under xvfb-run -s '-screen 0 1024x768x24' to run it unseen)."
  exit 2
fi

cd "$TARNWICK_ROOT/build/run"
exec ./tarnwick
