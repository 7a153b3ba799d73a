#!/usr/bin/env bash
# nuvctl writes the carried firmware build into nuvsim's module over a pseudo-terminal: the
# port's switch to 115200 baud resets the simulated module into its boot loader, the pages
# cross the simulated wire at that rate, and a reading at 9600 baud follows.
# Usage: nuvsim_firmware.sh NUVSIM NUVCTL
set -euo pipefail
nuvsim=$1
nuvctl=$2
out=$(mktemp)
"$nuvsim" >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do
  [ -s "$out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$out")
[ -n "$port" ] || { echo "nuvsim printed no port" >&2; exit 1; }

log=$("$nuvctl" --port "$port" firmware)
echo "$log"
grep -q '^written and verified by the boot loader$' <<<"$log"
"$nuvctl" --port "$port" read --json | grep -q '"result":0'
