#!/usr/bin/env bash
# Builds nuvtool with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev
