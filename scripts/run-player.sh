#!/usr/bin/env bash
# Starts the player on the bundled sample face (make run).
set -euo pipefail
build=${1:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "make run: no display (DISPLAY is not set); start the player from a desktop session, or run 'make test' for the headless tests." >&2
    exit 1
fi
player="$build/bin/mimlet-player"
if [ ! -x "$player" ]; then
    echo "make run: $player was not built." >&2
    exit 1
fi
face="$(cd "$build" && pwd)/samples/sample-1.mf"
if [ ! -f "$face" ]; then
    echo "make run: the sample face $face was not built." >&2
    exit 1
fi
exec "$player" "$face"
