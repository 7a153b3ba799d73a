#!/usr/bin/env bash
# Pictures of the tool's windows as a person sees them: nuvtool runs on the simulated module on a
# virtual X screen, and the whole screen is grabbed once per page, once with the sort-by-serial
# area, once scrolled sideways to the service strip, once with the APC window shown, once after
# a firmware update, once with the report of a port that cannot be opened, the trend plot
# during a cyclic measurement and an APC run, and twice over an emulated FTDI cable. The service
# report's PDF (after an APC run, and nuvctl's compared with an earlier visit) is saved with its
# pages as PNG.
# Usage: scripts/screenshots.sh [folder]      (default: build/screenshots)
# NUVTOOL=path runs another build of the tool than the release build made here (NUVCTL and
# NUVSIM likewise).
# A window manager (openbox, or twm), when installed, draws the windows' title bars and frames.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--inside" ]; then
  # Runs on the virtual screen that xvfb-run has opened.
  out=$2
  tool=${NUVTOOL:-build/release/app/nuvtool}
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  wm_pid=
  for wm in openbox twm; do
    if command -v "$wm" >/dev/null; then
      "$wm" >/dev/null 2>&1 &
      wm_pid=$!
      sleep 1
      break
    fi
  done
  shoot() {
    local name=$1
    shift
    local ready
    ready=$(mktemp -u)
    "$tool" --ready-file "$ready" "$@" &
    local pid=$!
    # SHOT_LIMIT: tenths of a second to wait for the ready file (a minute unless a shot says).
    for _ in $(seq "${SHOT_LIMIT:-600}"); do
      [ -f "$ready" ] && break
      sleep 0.1
    done
    if [ ! -f "$ready" ]; then
      echo "nuvtool did not draw its window for $name" >&2
      kill "$pid" 2>/dev/null || true
      return 1
    fi
    import -window root "$out/$name.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    rm -f "$ready"
    echo "$out/$name.png"
  }
  shoot page1-usb-interface --simulate --show-page 0
  shoot page2-firmware-update --simulate --show-page 1
  # The same page after "Update Firmware" on the simulated module's boot loader.
  shoot page2-firmware-after-update --simulate --show-page 1 --click btn1
  shoot page3-configuration --simulate --show-page 2
  shoot page3-program-mode --simulate --show-page 2 --click Button38
  shoot page3-sort-by-serial --simulate --show-page 2 --click Button38 --click Button45
  # A segregation of three sensors: heat the first, wait for it to cool, finished.
  shoot apc-heat --simulate --sim-sensors 3 --show-page 2 --click Button38 --click Button10 \
    --ready-after 1500
  shoot apc-wait --simulate --sim-sensors 3 --show-page 2 --click Button38 --click Button10 \
    --ready-after 5500
  shoot apc-finished --simulate --sim-sensors 3 --show-page 2 --click Button38 --click Button10 \
    --ready-after 33000
  shoot page4-measurement --simulate --show-page 3
  # The trend plot during a cyclic measurement (a reading every 4 s, logged to a file), and
  # during an APC run of three sensors; the bus scan's result under the device list.
  shoot trend-cyclic --simulate --show-page 3 --click btnTrend --click btn5 --ready-after 30000
  # The APC window stays on top of it; the plot itself is also saved as "Save picture…" would.
  shoot trend-apc --simulate --sim-sensors 3 --show-page 2 --click Button38 --click btnTrend \
    --click Button10 --ready-after 24000 --trend-picture "$out/trend-apc-plot.png"
  shoot page1-bus-scan --simulate --show-page 0 --click btnScanBus
  shoot page5-error-logger --simulate --show-page 4
  shoot service-strip --simulate --show-page 2 --scroll-service
  shoot apc-window --simulate --show-page 2 --show-apc
  # The real driver stack (libftdi1, libusb) on an emulated FTDI cable with the module behind it:
  # the device list as libftdi1 reads it, and the configuration page after a reading.
  shoot page1-emulated-cable --simulate-usb --show-page 0
  shoot page3-emulated-cable-reading --simulate-usb --show-page 2 --click btn3
  # A firmware of 16 sensors per channel: the sensor grid and the APC window scrolled to the
  # last levels, each row with its number.
  shoot page3-sixteen-levels --simulate --sim-levels 16 --sim-sensors 16 --show-page 2 \
    --click Button38 --click Button11 --show-level 16
  shoot apc-sixteen-levels --simulate --sim-levels 16 --sim-sensors 16 --show-page 2 \
    --click Button38 --click Button10 --show-level 16 --ready-after 5000
  # A port that cannot be opened: the log's red report with its Polish message.
  shoot log-open-error --port /nonexistent/ttyNUV --show-page 0
  # The service report as the window writes it as PDF after an APC run of three sensors (with
  # its figure), every page as PNG.
  # The APC run and the report (its memory read twice) take some two minutes in real time.
  SHOT_LIMIT=3000 shoot service-report --simulate --sim-sensors 3 --show-page 2 --click Button38 --click Button10 \
    --ready-after 33000 --report-pdf "$out/service-report.pdf" \
    --report-remarks "Probes of channel 0 ordered by APC. Cable glands tightened."
  rm -f "$out/service-report-memory.dat"
  pdftoppm -r 100 -png "$out/service-report.pdf" "$out/service-report-page"
  ls "$out"/service-report-page-*.png
  # nuvctl's report of a second visit to nuvsim's module, compared with the first: the interval
  # was changed and saved, and the module reset, in between.
  ctl=${NUVCTL:-build/release/tools/nuvctl}
  sim=${NUVSIM:-build/release/tools/nuvsim}
  visits=$(mktemp -d)
  "$sim" >"$visits/port" &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -s "$visits/port" ] && break
    sleep 0.1
  done
  port=$(head -n 1 "$visits/port")
  "$ctl" --port "$port" report --json "$visits/last-visit.json" >/dev/null
  "$ctl" --port "$port" config --interval 30 --save >/dev/null
  "$ctl" --port "$port" reset >/dev/null
  "$ctl" --port "$port" report --json "$visits/visit.json" --previous "$visits/last-visit.json" \
    --pdf "$out/service-report-compared.pdf" \
    --remarks "Interval set to 30 s for the new heating schedule." >/dev/null
  kill "$sim_pid" 2>/dev/null || true
  rm -rf "$visits"
  pdftoppm -r 100 -png -f 1 -l 1 "$out/service-report-compared.pdf" \
    "$out/service-report-compared-page"
  ls "$out"/service-report-compared-page-*.png
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; fi
  rm -rf "$XDG_RUNTIME_DIR"
  exit 0
fi

out=${1:-build/screenshots}
scripts/deps.sh screenshots
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p "$out"
out=$(cd "$out" && pwd)
xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside "$out"
