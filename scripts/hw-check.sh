#!/usr/bin/env bash
# Acceptance check with a real FTDI cable and NUV module, for a technician. Needs the installed
# package (or NUVCTL/NUVTOOL pointing at a build), one module on its cable at address 2, and a
# desktop for the two steps in the window. Each step says what it does and what must be seen;
# the script checks what it can and asks about the rest. Exits 1 at the first failed step.
#   Usage: scripts/hw-check.sh [ADDRESS]
set -uo pipefail
nuvctl=${NUVCTL:-nuvctl}
nuvtool=${NUVTOOL:-nuvtool}
address=${1:-2}
step=0

say() { step=$((step + 1)); printf '\n[%d] %s\n    expected: %s\n' "$step" "$1" "$2"; }
ok() { echo "    ok"; }
bad() { echo "    FAILED: $*" >&2; exit 1; }
ask() { read -r -p "    $1 [y/n] " answer; [ "$answer" = y ] && ok || bad "$1"; }
externals() { "$nuvctl" --address "$address" diag | awk '$1 == "external" { print $2 }'; }

say "List the devices: nuvctl devices" \
    "one line 'ORNEVA NUV' or 'ORNEVA Terminal', its serial (e.g. NUV13001), 'USED BY THIS PROGRAM'; no 'No access' line"
out=$("$nuvctl" devices 2>&1) || bad "nuvctl devices failed: $out"
echo "$out" | sed 's/^/    | /'
grep -q 'No access' <<<"$out" && bad "libftdi1 cannot reach the cable: install the package's udev rules, replug"
grep -qE '^ORNEVA (NUV|Terminal)	.*	USED BY THIS PROGRAM$' <<<"$out" || bad "the module's cable was not opened"
ok

say "Note the module's external (DTR) reset counter: nuvctl diag" "a number"
before=$(externals) && [ -n "$before" ] || bad "no answer to diag"
echo "    external resets: $before"; ok

say "Read the temperatures twice: nuvctl read" "a table of 10 channels, exit status 0"
for _ in 1 2; do "$nuvctl" --address "$address" read >/dev/null || bad "the reading failed"; done
ok

say "Set the outputs to 5, read them back, set them to 0" "mask 5, then mask 0"
"$nuvctl" --address "$address" outputs --set 5 >/dev/null || bad "outputs --set 5 failed"
"$nuvctl" --address "$address" outputs | grep -qx 'mask 5' || bad "the outputs did not read back 5"
"$nuvctl" --address "$address" outputs --set 0 >/dev/null || bad "outputs --set 0 failed"
ok

say "Opening, reading and closing did not reset the module: nuvctl diag" "external resets still $before"
[ "$(externals)" = "$before" ] || bad "the module was reset by an open or a close"
ok

say "Reset by DTR: in the window press 'RST via USB (FTDI)' (page 'USB Interface'), then close it" \
    "the log says 'Reset via USB OK'; afterwards one external reset more"
"$nuvtool" >/dev/null 2>&1
[ "$(externals)" = "$((before + 1))" ] || bad "external resets are not $((before + 1))"
ok

say "Pass-through by RTS: in the window press 'Turn ON USB <-> RS485', then 'Turn OFF USB <-> RS485'" \
    "ON: the square turns green and the module passes RS485 traffic; OFF: red and it stops; no reset"
"$nuvtool" >/dev/null 2>&1
ask "Did the square and the pass-through follow both buttons?"
[ "$(externals)" = "$((before + 1))" ] || bad "switching the pass-through reset the module"
ok

say "Busy: while another nuvctl holds the cable, list the devices and read" \
    "'?	?	BUSY (uses by other program)'; the reading exits 1 'held by another program'"
"$nuvctl" --address "$address" watch --interval 2 --count 4 >/dev/null 2>&1 &
holder=$!
sleep 1
out=$("$nuvctl" devices 2>&1)
echo "$out" | sed 's/^/    | /'
grep -qP '^\?\t\?\tBUSY \(uses by other program\)$' <<<"$out" || bad "the held cable is not shown busy"
"$nuvctl" --address "$address" read >/dev/null 2>&1 && bad "a reading went through a held cable"
wait "$holder"
ok

echo; echo "All $step steps passed."
