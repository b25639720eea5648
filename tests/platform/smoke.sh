#!/usr/bin/env bash
# Starts the staged programs: the command-line program answers --version and
# --help; the player starts from a copy of the program folder (so its settings
# file is written there, not into the staged folder), shows its main window
# under Xvfb, is photographed, and ends cleanly on a termination request,
# writing its settings.
#   smoke.sh <OrvellaPlayer> <orvella> [<grab tool> <artifact folder>]
set -u
abs() { case "$1" in ""|/*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
player="$(abs "$1")"; cli="$(abs "$2")"; grab="$(abs "${3:-}")"; artifacts="$(abs "${4:-}")"

if [ "${SMOKE_INNER:-}" = 1 ]; then
  # Inside Xvfb: wait for the server, start, wait for the window, photograph, close.
  up=0
  for _ in $(seq 1 100); do
    if xwininfo -root >/dev/null 2>&1; then up=1; break; fi
    sleep 0.1
  done
  [ "$up" = 1 ] || { echo "X server $DISPLAY did not answer"; exit 1; }
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
# Xvfb picks a free display itself (-displayfd), so parallel runs do not collide.
if [ -n "$grab" ] && command -v Xvfb >/dev/null; then
  mkdir -p "$artifacts"
  rm -f "$artifacts/main-window.png"
  Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/display" 2>"$work/xvfb.log" &
  xpid=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { kill "$xpid" 2>/dev/null; echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
  SMOKE_INNER=1 QT_QPA_PLATFORM=xcb DISPLAY=":$(head -n1 "$work/display")" \
    "$0" "$work/OrvellaPlayer" "$cli" "$grab" "$artifacts"
  inner=$?
  kill "$xpid" 2>/dev/null
  wait "$xpid" 2>/dev/null
  [ "$inner" -eq 0 ] || { echo "player under Xvfb failed"; exit 1; }
  [ -s "$artifacts/main-window.png" ] || { echo "no screenshot"; exit 1; }
  echo "screenshot: $artifacts/main-window.png"
fi
echo "smoke ok"
