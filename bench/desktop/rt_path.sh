#!/usr/bin/env bash
# The real-time audio path's own cost: `orvella play FILE` (no window) through a PulseAudio daemon
# whose only sink is a null sink (paced in real time), per thread of the player (CPU from
# /proc/<pid>/task/<tid>/schedstat, wake-ups from the voluntary context switches) and the sound
# server's CPU, for one or more program folders measured in turn, round after round, in one run.
# With LOAD=1 two busy loops run beside every playback (a 2-CPU machine then has no idle CPU) and the
# dropouts the audio library reports ("ran out of sound" lines) are counted.
#
# Usage (as root: the daemon and the players run as the unprivileged user orvrt, created if needed):
#   bench/desktop/rt_path.sh FOLDER [FOLDER...]    e.g. build/OrvellaPlayer /tmp/before/OrvellaPlayer
# Environment: ROUNDS (default 5), SECONDS_PLAYED (default 30), SETTLE (seconds after start before
# measuring, default 3), LOAD (0 or 1), PERF=1 records `perf record -g` of the first folder's last
# round into perf-rt.data in the current folder.
set -euo pipefail

rounds="${ROUNDS:-5}"
secs="${SECONDS_PLAYED:-30}"
settle="${SETTLE:-3}"
load="${LOAD:-0}"
user=orvrt  # not the desktop bench's user: its clean-up ends every process of its user
[ "$(id -u)" = 0 ] || { echo "run as root (it starts a sound server for a bench user)" >&2; exit 2; }
[ $# -ge 1 ] || { echo "usage: $0 FOLDER [FOLDER...]" >&2; exit 2; }
folders=()
for f in "$@"; do
  [ -x "$f/orvella" ] || { echo "no orvella in $f" >&2; exit 2; }
  folders+=("$(realpath "$f")")
done
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/sh "$user"
uid=$(id -u "$user"); gid=$(id -g "$user")

work=$(mktemp -d /tmp/orvella-rt-path.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

dur=$((secs + settle + 30))
ffmpeg -nostdin -v error -f lavfi -i "anoisesrc=color=pink:amplitude=0.25:duration=$dur:sample_rate=44100" \
  -f lavfi -i "sine=frequency=440:duration=$dur" -filter_complex "amix=inputs=2,pan=stereo|c0=c0|c1=c0" \
  -c:a libmp3lame -b:a 192k "$work/long.mp3"
chmod 644 "$work/long.mp3"

rt="$work/run"; mkdir -m 700 "$rt"; chown "$user:" "$rt"
svhome="$work/svhome"; mkdir "$svhome"; chown "$user:" "$svhome"
as_user() {  # as_user HOME COMMAND... (exec: started with "&", $! is the program itself)
  local h="$1"; shift
  exec setpriv --reuid="$uid" --regid="$gid" --init-groups -- env -i HOME="$h" USER="$user" \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR="$rt" PULSE_SERVER="unix:$rt/pulse/native" "$@"
}
mkdir -p "$rt/pulse"; chown "$user:" "$rt/pulse"
(as_user "$svhome" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
  --log-level=error -L "module-null-sink sink_name=bench" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$rt/pulse/native") 2>"$work/pulse.log" &
server=$!
pids+=("$server")
for _ in $(seq 100); do [ -S "$rt/pulse/native" ] && break; sleep 0.05; done
[ -S "$rt/pulse/native" ] || { echo "PulseAudio did not start:"; cat "$work/pulse.log"; exit 1; }

# One line per thread: "name cpu_ns voluntary_switches" (a name repeated gets #2, #3...).
threads() {
  for t in /proc/"$1"/task/*; do
    [ -r "$t/schedstat" ] || continue
    local n c v
    n=$(tr ' ' '_' < "$t/comm" 2>/dev/null) || continue
    c=$(cut -d' ' -f1 "$t/schedstat" 2>/dev/null) || continue
    v=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status" 2>/dev/null) || continue
    echo "${t##*/} $n $c $v"
  done | sort -n | awk '{ k = $2; if (seen[k]++) k = k "#" seen[k]; print k, $3, $4 }'
}
proc_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }

# measure FOLDER MODE: appends "thread cpu_ms wakeups_per_s" lines and a "total" and "server" line
# to $work/<index>.r<round>; dropouts to $work/<index>.drops
measure() {
  local idx="$1" folder="$2" round="$3" mode="$4"
  local home="$work/home-$RANDOM"; mkdir "$home"; chown "$user:" "$home"
  local f="$work/prog-$RANDOM"
  cp -a "$folder" "$f"; chown -R "$user:" "$f"
  local hogs=()
  if [ "$load" = 1 ]; then
    for _ in 1 2; do (exec yes > /dev/null) & hogs+=($!); done
  fi
  (as_user "$home" "$f/orvella" play "$work/long.mp3") >/dev/null 2>"$work/err" &
  local pid=$!
  sleep "$settle"
  threads "$pid" > "$work/t0"; local p0 s0; p0=$(proc_ns "$pid"); s0=$(proc_ns "$server")
  if [ "$mode" = record ]; then
    perf record -q -g -p "$pid" -o perf-rt.data -- sleep "$secs" >/dev/null 2>&1
  else
    sleep "$secs"
  fi
  threads "$pid" > "$work/t1"; local p1 s1; p1=$(proc_ns "$pid"); s1=$(proc_ns "$server")
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  for h in "${hogs[@]}"; do kill "$h" 2>/dev/null || true; wait "$h" 2>/dev/null || true; done
  grep -c "ran out of sound" "$work/err" >> "$work/$idx.drops" || true
  awk -v s="$secs" 'NR == FNR { c[$1] = $2; v[$1] = $3; next }
    { printf "%s %.1f %.1f\n", $1, ($2 - c[$1]) / 1e6, ($3 - v[$1]) / s }' "$work/t0" "$work/t1" > "$work/$idx.r$round"
  awk -v a="$p0" -v b="$p1" 'BEGIN { printf "total %.1f 0\n", (b - a) / 1e6 }' >> "$work/$idx.r$round"
  awk -v a="$s0" -v b="$s1" 'BEGIN { printf "server %.1f 0\n", (b - a) / 1e6 }' >> "$work/$idx.r$round"
  rm -rf "$home" "$f"
}

for r in $(seq "$rounds"); do
  order=("${!folders[@]}")
  # Alternate the order from round to round so neither folder always runs first.
  if [ $((r % 2)) = 0 ]; then order=($(printf '%s\n' "${order[@]}" | sort -rn)); fi
  for i in "${order[@]}"; do
    mode=plain
    [ "${PERF:-0}" = 1 ] && [ "$r" = "$rounds" ] && [ "$i" = 0 ] && mode=record
    measure "$i" "${folders[$i]}" "$r" "$mode"
    echo "round $r, ${folders[$i]}: player $(awk '$1 == "total" { print $2 }' "$work/$i.r$r") ms," \
      "server $(awk '$1 == "server" { print $2 }' "$work/$i.r$r") ms, dropouts $(tail -1 "$work/$i.drops")" >&2
  done
done

echo
echo "Machine: $(nproc) CPUs, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'); load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "orvella play, $secs s measured after $settle s, $rounds rounds, medians (lowest-highest); two busy loops beside it: $([ "$load" = 1 ] && echo yes || echo no)"
for i in "${!folders[@]}"; do
  echo
  echo "${folders[$i]}: dropouts $(paste -sd+ "$work/$i.drops" | bc) in $rounds playbacks"
  printf '| %-18s | %-24s | %-24s |\n' "thread" "CPU (ms over $secs s)" "wake-ups a second"
  printf '|%s|%s|%s|\n' "--------------------" "--------------------------" "--------------------------"
  cat "$work/$i".r* | awk '{ print $1 }' | awk '!seen[$0]++' | while read -r name; do
    stats() {  # column N of thread "name" over the rounds: median (lowest-highest)
      cat "$work/$i".r* | awk -v n="$name" -v c="$1" '$1 == n { print $c }' | sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f (%.1f-%.1f)", m, v[1], v[NR] }'
    }
    w="$(stats 3)"; case "$name" in total|server) w="";; esac
    printf '| %-18s | %-24s | %-24s |\n' "$name" "$(stats 2)" "$w"
  done
done
