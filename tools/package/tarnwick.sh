#!/bin/sh
# tarnwick: starts the demo from its data folder, where it finds its shaders,
# scenes, textures and music by relative path, so it runs from any directory.
prefix=$(readlink -f "$(dirname "$(readlink -f "$0")")/..")
data="$prefix/share/games/tarnwick"
demo="$prefix/lib/games/tarnwick/tarnwick"

# The usage needs no display and no data.
if [ $# -eq 1 ] && { [ "$1" = --help ] || [ "$1" = -h ]; }; then
    exec "$demo" "$1"
fi

# Without a display the window cannot open; the capture tool needs none.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "tarnwick: no display to open the window on; without one, record the run to a video: tarnwick-capture --fps 25 --out tarnwick.mp4" >&2
    exit 1
fi
if ! cd "$data" 2>/dev/null; then
    echo "tarnwick: no data folder at $data; reinstall tarnwick" >&2
    exit 1
fi
exec "$demo" "$@"
