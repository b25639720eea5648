#!/usr/bin/env bash
# What a desktop player costs while it sits on a desktop and plays, measured
# side by side with Audacious (and qmmp and VLC when they are installed) in
# one run: start to first window mapped, memory 3 s after start, CPU of the
# player and of the sound server over a stretch of playback of a 10-minute
# 192 kbit/s MP3, and whether the player really has a stream on the server.
#
# Sets up its own world and tears it down at the end: a private Xvfb display,
# a D-Bus session bus and a PulseAudio daemon whose only sink is a null sink
# (paced in real time), all owned by an unprivileged user; every player run
# gets a fresh home (and our player a fresh copy of its program folder, since
# it keeps its settings beside itself).
#
# Usage (as root, it installs what it needs with apt-get):
#   bench/desktop/desktop_bench.sh [program-folder]     default build/OrvellaPlayer
# Environment: RUNS (default 3), SECONDS_PLAYED (default 60), BEFORE (another program folder, e.g. a
# build of an earlier commit: measured the same way in the same run as "before", for before/after
# ratios that share the machine's conditions).
# Also reported: the CPU of an empty Qt window with a 25 ms timer (what a display redrawn 40 times a
# second costs in Qt before it draws anything), the dropouts our audio library counted (its "ran out
# of sound" lines on stderr) and `orvella play --fast` (dual-channel, capture discarded) against
# `ffmpeg -f null` on the same MP3.
set -euo pipefail

stage="$(realpath "${1:-build/OrvellaPlayer}")"
before="${BEFORE:+$(realpath "$BEFORE")}"
runs="${RUNS:-3}"
played="${SECONDS_PLAYED:-60}"
here="$(cd "$(dirname "$0")" && pwd)"
user=orvbench

[ "$(id -u)" = 0 ] || { echo "run as root (it installs packages and starts services for a bench user)" >&2; exit 2; }
[ -x "$stage/OrvellaPlayer" ] || { echo "no player in $stage (build first)" >&2; exit 2; }

need=()
for p in pulseaudio pulseaudio-utils audacious xvfb libx11-dev dbus-daemon; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
fi
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/sh "$user"
uid=$(id -u "$user"); gid=$(id -g "$user")

work=$(mktemp -d /tmp/orvella-desktop-bench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  sleep 0.5
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  pkill -u "$user" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/mapwait" "$here/mapwait.c" -lX11

# A signal with some content, so the decoder works as on music.
ffmpeg -nostdin -v error -f lavfi -i "anoisesrc=color=pink:amplitude=0.25:duration=600:sample_rate=44100" \
  -f lavfi -i "sine=frequency=440:duration=600" -filter_complex "amix=inputs=2,pan=stereo|c0=c0|c1=c0" \
  -c:a libmp3lame -b:a 192k "$work/long.mp3"
chmod 644 "$work/long.mp3"

rt="$work/run"; mkdir -m 700 "$rt"; chown "$user:" "$rt"
svhome="$work/svhome"; mkdir "$svhome"; chown "$user:" "$svhome"

as_user() {  # as_user HOME COMMAND... (a clean environment for the bench user)
  local h="$1"; shift
  # exec: started with "&", $! is then the program itself (setpriv and env exec too)
  exec_or_run setpriv --reuid="$uid" --regid="$gid" --init-groups -- env -i HOME="$h" USER="$user" \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 DISPLAY=":$disp" XDG_RUNTIME_DIR="$rt" \
    DBUS_SESSION_BUS_ADDRESS="$bus" PULSE_SERVER="unix:$rt/pulse/native" "$@"
}

exec_or_run() { if [ "${BG:-0}" = 1 ]; then exec "$@"; else "$@"; fi; }

disp=70
while [ -e "/tmp/.X11-unix/X$disp" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1280x1024x24 -nolisten tcp -ac >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.05; done

bus=""
busout=$(as_user "$svhome" dbus-daemon --session --fork --print-address=1 --print-pid=1)
bus=$(sed -n 1p <<<"$busout"); buspid=$(sed -n 2p <<<"$busout")
pids+=("$buspid")

mkdir -p "$rt/pulse"; chown "$user:" "$rt/pulse"
BG=1 as_user "$svhome" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
  --log-level=error -L "module-null-sink sink_name=bench" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$rt/pulse/native" 2>"$work/pulse.log" &
pids+=($!)
for _ in $(seq 100); do [ -S "$rt/pulse/native" ] && break; sleep 0.05; done
[ -S "$rt/pulse/native" ] || { echo "PulseAudio did not start:"; cat "$work/pulse.log"; exit 1; }
server=$(pgrep -u "$user" -x pulseaudio | head -1)

tck=$(getconf CLK_TCK)
cpu_of() {  # user+system CPU seconds of a process so far
  awk -v t="$tck" '{ sub(/^.*\) /, ""); printf "%.3f", ($12 + $13) / t }' "/proc/$1/stat"
}
mem_of() {  # "RSS PSS" in MB
  awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } END { printf "%.1f %.1f", r / 1024, p / 1024 }' "/proc/$1/smaps_rollup"
}
has_stream() {  # does the process own a stream on the server?
  as_user "$svhome" pactl list sink-inputs 2>/dev/null | grep -q "application.process.id = \"$1\""
}
stop_pid() {
  kill "$1" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}

# measure NAME WINDOWED COMMAND... : one run; appends "map rss pss cpu server stream" to $work/NAME
measure() {
  local name="$1" windowed="$2"; shift 2
  local home="$work/home-$name-$RANDOM"; mkdir "$home"; chown "$user:" "$home"
  local pid map="-" t0
  t0=$(date +%s.%N)
  local err="$work/stderr-$name"
  if [ "$windowed" = 1 ]; then
    read -r pid map < <(as_user "$home" "$work/mapwait" 15000 "$@" 2>>"$err")
  else
    BG=1 as_user "$home" "$@" >/dev/null 2>>"$err" &
    pid=$!
  fi
  local left; left=$(awk -v s="$t0" -v n="$(date +%s.%N)" 'BEGIN { d = 3 - (n - s); print (d > 0 ? d : 0) }')
  sleep "$left"
  local mem="- -"; [ -r "/proc/$pid/smaps_rollup" ] && mem=$(mem_of "$pid" 2>/dev/null || echo "- -")
  local stream=no
  for _ in $(seq 100); do has_stream "$pid" && { stream=yes; break; }; sleep 0.1; done
  local c0 s0 c1 s1
  c0=$(cpu_of "$pid" 2>/dev/null || echo 0); s0=$(cpu_of "$server")
  sleep "$played"
  if kill -0 "$pid" 2>/dev/null; then
    c1=$(cpu_of "$pid"); s1=$(cpu_of "$server")
    has_stream "$pid" || stream=no
  else
    c1=$c0; s1=$s0; stream="died"
    echo "$name ended early; its last words:" >&2; tail -5 "$err" >&2
  fi
  stop_pid "$pid"
  pkill -u "$user" -x "$(basename "$1")" 2>/dev/null || true
  echo "$map $mem $(awk -v a="$c0" -v b="$c1" 'BEGIN{printf "%.2f", b - a}') $(awk -v a="$s0" -v b="$s1" 'BEGIN{printf "%.2f", b - a}') $stream" >> "$work/$name"
  rm -rf "$home"
}

orvella_folder() {  # [STAGE] a fresh program folder for each run: our player keeps its settings beside itself
  local f="$work/prog-$RANDOM"
  cp -a "${1:-$stage}" "$f"
  rm -f "$f/OrvellaPlayer.ini" "$f/data/Default.plf"
  printf '[Options]\r\nfirstRun=0\r\n' > "$f/OrvellaPlayer.ini"
  chown -R "$user:" "$f"
  echo "$f"
}

players=(orvella)
[ -n "$before" ] && players+=(before)
players+=(audacious)
command -v qmmp >/dev/null && players+=(qmmp)
# VLC only with its Qt interface: vlc-bin alone (libVLC's command line) opens no window.
command -v vlc >/dev/null && ls /usr/lib/*/vlc/plugins/gui/libqt_plugin.so >/dev/null 2>&1 && players+=(vlc)

for r in $(seq "$runs"); do
  for p in "${players[@]}"; do
    case "$p" in
      orvella) f=$(orvella_folder); measure orvella 1 "$f/OrvellaPlayer" "$work/long.mp3"; rm -rf "$f" ;;
      before) f=$(orvella_folder "$before"); measure before 1 "$f/OrvellaPlayer" "$work/long.mp3"; rm -rf "$f" ;;
      audacious) measure audacious 1 audacious "$work/long.mp3" ;;
      qmmp) measure qmmp 1 qmmp "$work/long.mp3" ;;
      vlc) measure vlc 1 vlc --no-qt-privacy-ask "$work/long.mp3" ;;
    esac
    echo "run $r $p: $(tail -1 "$work/$p")" >&2
  done
  f=$(orvella_folder); measure orvella-cli 0 "$f/orvella" play "$work/long.mp3"; rm -rf "$f"
  echo "run $r orvella play: $(tail -1 "$work/orvella-cli")" >&2
  if [ -n "$before" ]; then
    f=$(orvella_folder "$before"); measure before-cli 0 "$f/orvella" play "$work/long.mp3"; rm -rf "$f"
    echo "run $r before play: $(tail -1 "$work/before-cli")" >&2
  fi
done

median() {  # median of column N of a file (numbers only)
  awk -v c="$2" '$c ~ /^[0-9.]+$/ { print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "-"; exit } if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2fx", a / b }'; }

# The decode path: the whole dual-channel path into the fast capture (discarded) against FFmpeg
# decoding the same file alone, CPU of each, in this run.
cpu_run() {  # user+system CPU seconds of a command
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
  awk '{ printf "%.3f", $1 + $2 }' "$work/time"
}
fast=(); ffm=(); fastb=()
if [ -x /usr/bin/time ]; then
  for r in $(seq "$runs"); do
    fast+=("$(cpu_run "$stage/orvella" play --out /dev/null --fast "$work/long.mp3")")
    ffm+=("$(cpu_run ffmpeg -nostdin -v error -i "$work/long.mp3" -f null -)")
    [ -n "$before" ] && fastb+=("$(cpu_run "$before/orvella" play --out /dev/null --fast "$work/long.mp3")")
  done
fi
# The floor under a display redrawn 40 times a second by a Qt program: an empty window of the main
# window's size with a 25 ms timer that does nothing, measured as the players are (it plays nothing).
floor=()
if pkg-config --exists Qt6Widgets 2>/dev/null; then
  cat > "$work/qtfloor.cpp" <<'CPP'
#include <QApplication>
#include <QTimer>
#include <QWidget>
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.resize(275, 116);
  w.show();
  QTimer t;
  int ticks = 0;
  QObject::connect(&t, &QTimer::timeout, [&] { ++ticks; });
  t.start(25);
  return app.exec();
}
CPP
  if g++ -O2 -fPIC -o "$work/qtfloor" "$work/qtfloor.cpp" $(pkg-config --cflags --libs Qt6Widgets) 2>/dev/null; then
    for r in $(seq "$runs"); do
      h="$work/home-floor-$r"; mkdir "$h"; chown "$user:" "$h"
      read -r fpid _ < <(as_user "$h" "$work/mapwait" 15000 "$work/qtfloor" 2>/dev/null)
      sleep 3
      a=$(cpu_of "$fpid"); sleep "$played"; b=$(cpu_of "$fpid")
      floor+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b - a }')")
      stop_pid "$fpid"; rm -rf "$h"
    done
  fi
fi
med() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "-"; exit } if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo
echo "Machine: $(nproc) CPUs, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'); load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Runs: $runs, medians; playback measured over $played s; sound server: PulseAudio with a null sink"
printf '\n| %-44s |' "Measure"; for p in "${players[@]}"; do printf ' %-10s |' "$p"; done; printf ' %-16s |' "orvella/audacious"; [ -n "$before" ] && printf ' %-16s |' "before/audacious"; echo
printf '|%s|' "$(printf -- '-%.0s' $(seq 46))"; for _ in "${players[@]}"; do printf -- '%s|' "------------"; done; printf -- '%s|' "------------------"
[ -n "$before" ] && printf -- '%s|' "------------------"; echo
row() {  # row LABEL COLUMN UNIT
  printf '| %-44s |' "$1"
  for p in "${players[@]}"; do printf ' %-10s |' "$(median "$work/$p" "$2")$3"; done
  printf ' %-16s |' "$(ratio "$(median "$work/orvella" "$2")" "$(median "$work/audacious" "$2")")"
  [ -n "$before" ] && printf ' %-16s |' "$(ratio "$(median "$work/before" "$2")" "$(median "$work/audacious" "$2")")"
  echo
}
row "start to first window mapped (ms)" 1 ""
row "resident memory 3 s after start (MB)" 2 ""
row "proportional memory 3 s after start (MB)" 3 ""
row "player CPU over ${played} s of playback (s)" 4 ""
row "sound-server CPU over the same time (s)" 5 ""
printf '| %-44s |' "stream on the sound server (all runs)"
for p in "${players[@]}"; do
  if grep -qv ' yes$' "$work/$p"; then printf ' %-10s |' "NO"; else printf ' %-10s |' "yes"; fi
done
printf ' %-16s |' ""; [ -n "$before" ] && printf ' %-16s |' ""; echo
echo
drops() { cat "$work/stderr-$1" 2>/dev/null | grep -c "ran out of sound" || true; }
echo "Dropouts the audio library reported (all runs): windowed $(drops orvella), orvella play $(drops orvella-cli)"
[ -n "$before" ] && echo "Dropouts, before: windowed $(drops before), orvella play $(drops before-cli)"
if [ ${#fast[@]} -gt 0 ]; then
  f=$(med "${fast[@]}"); g=$(med "${ffm[@]}")
  echo "10-minute MP3, orvella play --fast (dual-channel, capture discarded) $f s CPU, ffmpeg -f null $g s CPU: $(ratio "$f" "$g")"
  if [ ${#fastb[@]} -gt 0 ]; then b=$(med "${fastb[@]}"); echo "  before: $b s CPU: $(ratio "$b" "$g")"; fi
fi
echo "orvella play (no window), medians: player CPU $(median "$work/orvella-cli" 4) s, sound server $(median "$work/orvella-cli" 5) s over $played s; stream on the server: $(grep -qv ' yes$' "$work/orvella-cli" && echo NO || echo yes)"
if [ -n "$before" ]; then
  echo "before: orvella play (no window), medians: player CPU $(median "$work/before-cli" 4) s, sound server $(median "$work/before-cli" 5) s over $played s"
fi
if [ ${#floor[@]} -gt 0 ]; then
  echo "An empty Qt window with a 25 ms timer (the floor of a 40 Hz display in Qt), median: $(med "${floor[@]}") s CPU over $played s"
fi
