#!/usr/bin/env bash
# The whole visualisation path's extra CPU: 30 s of real-time playback on the
# silent output alone, then with vis_orvella.so (spectrum and oscilloscope at
# 60 frames a second) drawing headless into its surface.
# Usage: vis_bench.sh [program-folder]   (default: build/OrvellaPlayer)
set -euo pipefail
stage="${1:-build/OrvellaPlayer}"
orvella="$stage/orvella"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpu() {
  /usr/bin/time -f "%U %S %e" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f", $1 + $2}' "$work/t"
}
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=30" -ac 2 -c:a pcm_s16le "$work/tone.wav"
export ORVELLA_BASS_OUTPUT=silent
alone=$(cpu "$orvella" play "$work/tone.wav")
with=$(cpu "$orvella" play --vis vis_orvella.so:2 "$work/tone.wav")
printf "30 s real time: playback %.3f s CPU, with vis_orvella at 60 fps %.3f s CPU: %.2f%% of one core extra\n" \
  "$alone" "$with" "$(awk -v a="$alone" -v b="$with" 'BEGIN{print (b-a)/30*100}')"
