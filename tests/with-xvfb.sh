#!/usr/bin/env bash
# Runs a command on a private Xvfb server:  with-xvfb.sh WxHxD command [args...]
# Xvfb picks a free display itself (-displayfd). xvfb-run -a probes for a free
# number and starts the server afterwards, so two tests starting at once can pick
# the same display and one of them finds no server.
set -u
screen="$1"; shift
work="$(mktemp -d /tmp/orvella-xvfb-XXXXXX)"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xpid=$!
cleanup() { kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 1 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xpid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
"$@"
