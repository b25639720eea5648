#!/bin/sh
# Generates small WAVE seeds for the PCM fuzz target into the folder given ($1). Each seed starts
# with two zero bytes: the target then passes the rest on unchanged, as 16-bit output.
set -e
out="$1"
mkdir -p "$out"
gen() {
  ffmpeg -nostdin -v quiet -y -f lavfi -i "sine=d=0.02:sample_rate=$1" $2 "$out/t.wav"
  printf '\000\000' | cat - "$out/t.wav" > "$out/seed_$3.wav"
  rm -f "$out/t.wav"
}
gen 8000 "-c:a pcm_u8" u8
gen 22050 "-c:a pcm_s16le -ac 2" s16
gen 96000 "-c:a pcm_s24le" s24_ext
gen 44100 "-c:a pcm_f32le -ac 6" f32_6ch
gen 44100 "-c:a pcm_f64le -rf64 always" f64_rf64
gen 11025 "-c:a pcm_s16be -f aiff" aiff_s16
gen 48000 "-c:a pcm_f32be -f aiff -ac 2" aifc_fl32
