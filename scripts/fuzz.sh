#!/usr/bin/env bash
# Fuzzes every decoder of device bytes: builds the libFuzzer harnesses (preset fuzz: clang with
# AddressSanitizer and UndefinedBehaviorSanitizer), records their seed corpus from the simulated
# module, then runs each harness for SECONDS (default 60). Prints per harness the executions
# and the findings (crash, leak, timeout or out-of-memory inputs) and exits 1 when there is any.
#
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]      (default: every harness)
#   FUZZ_JOBS=2      harnesses run at a time (default 1)
#
# The seeds go to build/fuzz/corpus/HARNESS; what a harness finds interesting is kept in
# build/fuzz/work/HARNESS for the next run; a finding is written to
# build/fuzz/findings/RUN/HARNESS/ (replay it: build/fuzz/fuzz/fuzz_HARNESS FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [SECONDS] [HARNESS...]" >&2
  exit 2
fi
jobs=${FUZZ_JOBS:-1}

scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
build/fuzz/fuzz/nuv_make_seeds "$out/corpus"

declare -A max_len
all=()
while read -r name length; do
  max_len[$name]=$length
  all+=("$name")
done <"$out/corpus/MANIFEST"
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=("${all[@]}")
for name in "${harnesses[@]}"; do
  if [ -z "${max_len[$name]:-}" ]; then
    echo "no harness $name (harnesses: ${all[*]})" >&2
    exit 2
  fi
done

# While fuzzing, AddressSanitizer records no stacks of allocations and frees (they took a sixth
# of every run); replaying a finding (above) reports them in full.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}

run=$out/findings/run-$(date +%Y%m%d-%H%M%S)
logs=$run/logs
mkdir -p "$logs"

fuzz_one() {
  local name=$1
  mkdir -p "$out/work/$name" "$run/$name"
  # -timeout: seconds of real time per input; every input runs on the virtual clock and takes
  # milliseconds, so an input near this limit hangs.
  "$out/fuzz/fuzz_$name" "$out/work/$name" "$out/corpus/$name" \
    -max_len="${max_len[$name]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$run/$name/" >"$logs/$name.log" 2>&1 &&
    echo 0 >"$logs/$name.status" || echo $? >"$logs/$name.status"
}

for name in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$name" &
done
wait

found=0
printf '%-18s %14s %10s  %s\n' harness executions exec/s findings
for name in "${harnesses[@]}"; do
  log=$logs/$name.log
  status=$(cat "$logs/$name.status" 2>/dev/null || echo '?')
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  findings=$(find "$run/$name" -maxdepth 1 -type f \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  note=none
  if [ -n "$findings" ]; then
    note=$(echo "$findings" | tr '\n' ' ')
    found=1
  elif [ "$status" != 0 ]; then
    note="the harness failed (exit $status): see $log"
    found=1
  fi
  printf '%-18s %14s %10s  %s\n' "$name" "${executions:-?}" "${rate:-?}" "$note"
done
if [ "$found" -ne 0 ]; then
  echo "Findings: the logs are in $logs" >&2
  exit 1
fi
