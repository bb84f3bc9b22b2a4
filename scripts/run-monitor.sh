#!/usr/bin/env bash
# Sets up a fresh machine (packages, build) and starts the monitor with the
# default configuration beside it (config/StatusMonitorQ62m.ini, copied to
# build/ unless a configuration is already there), together with the printer
# simulator standing in for the default printer on 127.0.0.1:9100. Type the
# simulator's commands (help, paper empty, all well, quit, ...) to provoke
# faults; quitting the simulator stops the monitor.
#
#   scripts/run-monitor.sh                  monitor and simulated printer
#   scripts/run-monitor.sh --no-simulator   the monitor alone, for real printers
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
[ -f build/StatusMonitorQ62m.ini ] || cp config/StatusMonitorQ62m.ini build/
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: the monitor runs headless (no window, no tray icon); its status port still answers." >&2
fi

if [ "${1:-}" = "--no-simulator" ]; then
  exec build/StatusMonitorQ62m
fi

build/StatusMonitorQ62m &
monitor=$!
trap 'kill "$monitor" 2>/dev/null || true; wait "$monitor" 2>/dev/null || true' EXIT
echo "Monitor started (pid $monitor); simulated printer on 127.0.0.1:9100, status on port 5000."
echo "Type 'help' for the simulator's commands, 'quit' to stop both."
build/tools/printer-sim/q62m-printer-sim
