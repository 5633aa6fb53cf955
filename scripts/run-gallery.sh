#!/usr/bin/env bash
# Builds and runs kalvo-gallery: a window where there is a display; without
# one, PNG screenshots of every page, appearance and theme into a folder.
#
#   scripts/run-gallery.sh              window, or screenshots into ./screenshots
#   scripts/run-gallery.sh DIR          screenshots into DIR
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kalvo-gallery

gallery=build/apps/gallery/kalvo-gallery
if [ $# -eq 0 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$gallery"
fi
exec "$gallery" --screenshot "${1:-screenshots}"
