#!/usr/bin/env bash
# CPU share of the window left idle on the simulated module.
# Usage: bench/window_idle.sh [SECONDS] [BUILD_DIR]   (defaults: 30, build/release)
# Runs nuvtool --simulate on the offscreen platform for SECONDS and prints the CPU time it
# used (user + system) as a share of one core.
set -euo pipefail
seconds=${1:-30}
build=${2:-build/release}
tool="$build/app/nuvtool"
[ -x "$tool" ] || { echo "no $tool: build it first (cmake --preset release && cmake --build --preset release)" >&2; exit 2; }
stat_file=$(mktemp)
trap 'rm -f "$stat_file"' EXIT
QT_QPA_PLATFORM=offscreen "$tool" --simulate >/dev/null 2>&1 &
pid=$!
sleep 2  # start-up is not idling
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
start=$(ticks)
sleep "$seconds"
end=$(ticks)
kill "$pid"
wait "$pid" 2>/dev/null || true
hz=$(getconf CLK_TCK)
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "window idle for %d s: CPU %.2f s = %.2f %% of one core\n", s, t / hz, 100 * t / hz / s }'
