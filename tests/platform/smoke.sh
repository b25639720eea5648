#!/usr/bin/env bash
# Starts the staged programs: the command-line program answers --version and
# --help; the player starts from a copy of the program folder (so its settings
# file is written there, not into the staged folder), shows its main window
# under Xvfb, is photographed, and ends cleanly on a termination request,
# writing its settings.
#   smoke.sh <OrvellaPlayer> <orvella> [<grab tool> <artifact folder>]
set -u
player="$1"; cli="$2"; grab="${3:-}"; artifacts="${4:-}"

if [ "${SMOKE_INNER:-}" = 1 ]; then
  # Inside Xvfb: start, wait for the window, photograph, close.
  "$player" &
  pid=$!
  found=0
  for _ in $(seq 1 200); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Orvella Player 1.4"'; then found=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$found" != 1 ]; then kill -KILL "$pid" 2>/dev/null; echo "main window did not appear"; exit 1; fi
  sleep 1  # let the first frames paint
  if [ -n "$grab" ]; then
    "$grab" "$artifacts/main-window.png" || { echo "screenshot failed"; }
  fi
  kill -TERM "$pid"
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; echo "player did not close"; exit 1; fi
  wait "$pid"; exit $?
fi

"$cli" --version | grep -q '^orvella (Orvella Player) 1.4$' || { echo "orvella --version"; exit 1; }
"$cli" --help | grep -q 'Usage: orvella' || { echo "orvella --help"; exit 1; }
"$cli" bogus >/dev/null 2>&1; [ $? -eq 2 ] || { echo "orvella bogus should exit 2"; exit 1; }

stage="$(cd "$(dirname "$player")" && pwd)"
work="$(mktemp -d /tmp/orvella-smoke-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp "$player" "$work/OrvellaPlayer"
for item in bass.so plugins language skins; do
  [ -e "$stage/$item" ] && ln -s "$stage/$item" "$work/$item"
done
mkdir -p "$work/data"
# Not a first run: the association window would wait for the user.
printf '[Options]\r\nfirstRun=0\r\n' > "$work/OrvellaPlayer.ini"
export ORVELLA_BASS_OUTPUT=silent

# Offscreen: starts and ends on SIGTERM with status 0.
QT_QPA_PLATFORM=offscreen "$work/OrvellaPlayer" &
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
grep -q '^showVideoWindow=0' "$work/OrvellaPlayer.ini" || { echo "settings not written at close"; exit 1; }

# Under Xvfb with a real X server: the window appears and is photographed.
if [ -n "$grab" ] && command -v xvfb-run >/dev/null; then
  mkdir -p "$artifacts"
  rm -f "$artifacts/main-window.png"
  SMOKE_INNER=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    "$0" "$work/OrvellaPlayer" "$cli" "$grab" "$artifacts" || { echo "player under Xvfb failed"; exit 1; }
  [ -s "$artifacts/main-window.png" ] || { echo "no screenshot"; exit 1; }
  echo "screenshot: $artifacts/main-window.png"
fi
echo "smoke ok"
