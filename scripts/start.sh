#!/usr/bin/env bash
# Builds nuvtool and starts it on the simulated module. Extra arguments go to nuvtool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/app/nuvtool --simulate "$@"
