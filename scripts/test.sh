#!/usr/bin/env bash
# Builds nuvtool with its tests and runs every test, then builds the tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer (without the benchmarks and the package) and
# runs them all a second time; any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
