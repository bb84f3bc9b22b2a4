#!/usr/bin/env bash
# Sets up a fresh machine (packages, build) and starts the monitor with the
# default configuration beside it (config/StatusMonitorQ62m.ini, copied to
# build/ unless a configuration is already there).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
[ -f build/StatusMonitorQ62m.ini ] || cp config/StatusMonitorQ62m.ini build/
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: the monitor runs headless (no window, no tray icon)." >&2
fi
exec build/StatusMonitorQ62m
