#!/bin/sh
# tarnwick: starts the demo from its data folder, where it finds its shaders,
# scenes, textures and music by relative path, so it runs from any directory.
prefix=$(readlink -f "$(dirname "$(readlink -f "$0")")/..")
data="$prefix/share/games/tarnwick"

# Without a display the window cannot open; the capture tool needs none.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "tarnwick: no display to open the window on; without one, record the run to a video: tarnwick-capture --fps 25 --out tarnwick.mp4" >&2
    exit 1
fi
if ! cd "$data" 2>/dev/null; then
    echo "tarnwick: no data folder at $data; reinstall tarnwick" >&2
    exit 1
fi
exec "$prefix/lib/games/tarnwick/tarnwick"
