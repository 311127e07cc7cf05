#!/usr/bin/env bash
# Starts Pivana from the build tree: the tray app, or the panel of the one already running.
# Files given are opened on the panel, as "Open With Pivana" would.
set -euo pipefail
BUILD=${1:-build}
shift || true
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Pivana is a desktop app and needs a graphical session (no DISPLAY is set)." >&2
    echo "From a terminal it also converts headless, for example:" >&2
    echo "  $BUILD/bin/pivana --to png photo.heic" >&2
    exit 1
fi
exec "$BUILD/bin/pivana" "$@"
