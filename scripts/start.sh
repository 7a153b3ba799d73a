#!/usr/bin/env bash
# Builds nuvtool and starts it on the simulated module. Extra arguments go to nuvtool.
# Without a display (no X or Wayland) it shows the simulated module through nuvctl instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display here: the simulated module through nuvctl instead of the window." >&2
  echo "(Start the window on a desktop, or under Xvfb: see scripts/screenshots.sh.)" >&2
  build/release/tools/nuvctl --simulate devices
  exec build/release/tools/nuvctl --simulate read
fi
exec build/release/app/nuvtool --simulate "$@"
