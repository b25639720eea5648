#!/usr/bin/env bash
# Starts the staged player; without a display it runs under a virtual X server.
set -euo pipefail
prog="$1"; shift || true
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$prog" "$@"
fi
echo "No display found: starting under xvfb-run (set QT_QPA_PLATFORM=offscreen to run without X)." >&2
exec xvfb-run -a "$prog" "$@"
