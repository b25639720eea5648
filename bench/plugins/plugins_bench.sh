#!/usr/bin/env bash
# Measures the plug-in host through orvella: a 10-minute file played into the
# fast capture single-channel, dual-channel (play thread and ring) and with a
# DSP module; 30 s in real time on the silent output, single against dual; and
# a minute of MIDI rendered by in_midi.so.
# Usage: plugins_bench.sh [program-folder]   (default: build/OrvellaPlayer)
set -euo pipefail
stage="${1:-build/OrvellaPlayer}"
orvella="$stage/orvella"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpu() {  # user+sys CPU seconds of a command
  /usr/bin/time -f "%U %S %e" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f", $1 + $2}' "$work/t"
}
wall() { awk '{printf "%.3f", $3}' "$work/t"; }

ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=600" -ac 2 -c:a pcm_s16le "$work/long.wav"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=30" -ac 2 -c:a pcm_s16le "$work/short.wav"

single=$(cpu "$orvella" play --single-channel --out "$work/a.wav" --fast "$work/long.wav"); ws=$(wall)
dual=$(cpu "$orvella" play --out "$work/b.wav" --fast "$work/long.wav"); wd=$(wall)
gain=$(cpu "$orvella" play --dsp dsp_orvella.so:0 --out "$work/c.wav" --fast "$work/long.wav"); wg=$(wall)
printf "10-minute WAV, fast capture: single %.3f s CPU (%.3f s wall), dual %.3f s CPU (%.3f s wall), dual+gain %.3f s CPU (%.3f s wall), dual/single %.2f\n" \
  "$single" "$ws" "$dual" "$wd" "$gain" "$wg" "$(awk -v a="$dual" -v b="$single" 'BEGIN{print a/b}')"

export ORVELLA_BASS_OUTPUT=silent
rs=$(cpu "$orvella" play --single-channel "$work/short.wav")
rd=$(cpu "$orvella" play "$work/short.wav")
printf "30 s real time (silent output): single %.3f s CPU, dual %.3f s CPU (%.3f and %.3f s per minute)\n" \
  "$rs" "$rd" "$(awk -v a="$rs" 'BEGIN{print a*2}')" "$(awk -v a="$rd" 'BEGIN{print a*2}')"
unset ORVELLA_BASS_OUTPUT

# A minute of MIDI: one note a beat at 120 BPM, as a format-0 file.
python3 - "$work/minute.mid" <<'PY'
import struct, sys
def vlq(x):
    out = [x & 0x7F]; x >>= 7
    while x: out.insert(0, 0x80 | (x & 0x7F)); x >>= 7
    return bytes(out)
trk = b""
for i in range(120):
    trk += vlq(0) + bytes([0x90, 60 + i % 12, 100]) + vlq(480) + bytes([0x80, 60 + i % 12, 0])
trk += vlq(0) + b"\xff\x2f\x00"
open(sys.argv[1], "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(trk)) + trk)
PY
midi=$(cpu "$orvella" play --input-plugin in_midi.so --out "$work/m.wav" --fast "$work/minute.mid"); wm=$(wall)
printf "in_midi.so, 60 s of MIDI into the fast capture: %.3f s CPU, %.3f s wall\n" "$midi" "$wm"
