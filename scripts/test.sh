#!/usr/bin/env bash
# Builds nuvtool with its tests and runs every test, then builds the tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer (without the benchmarks and the package) and
# runs them all a second time; any finding fails. Last, each fuzzing harness runs for a few
# seconds (scripts/fuzz.sh), so that none of them rots; any finding fails too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
FUZZ_JOBS=2 scripts/fuzz.sh 5
