#!/usr/bin/env bash
# Starts the staged programs: the player opens its window and ends cleanly on a
# termination request; the command-line program answers --version and --help.
set -u
player="$1"; cli="$2"
"$cli" --version | grep -q '^orvella (Orvella Player) 1.4$' || { echo "orvella --version"; exit 1; }
"$cli" --help | grep -q 'Usage: orvella' || { echo "orvella --help"; exit 1; }
"$cli" bogus >/dev/null 2>&1; [ $? -eq 2 ] || { echo "orvella bogus should exit 2"; exit 1; }

QT_QPA_PLATFORM=offscreen "$player" &
pid=$!
sleep 1
kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "player died at start (status $?)"; exit 1; }
kill -TERM "$pid"
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; echo "player did not close"; exit 1; fi
wait "$pid"; rc=$?
[ "$rc" -eq 0 ] || { echo "player exit status $rc"; exit 1; }
echo "smoke ok"
