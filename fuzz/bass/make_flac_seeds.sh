#!/bin/sh
# Generates small FLAC seeds for the FLAC fuzz target into the folder given ($1). Each seed starts
# with two zero bytes: the target then passes the rest on unchanged, as 16-bit output.
set -e
out="$1"
mkdir -p "$out"
gen() {
  ffmpeg -nostdin -v quiet -y -f lavfi -i "sine=d=0.05:sample_rate=$1" $2 "$out/t.flac"
  printf '\000\000' | cat - "$out/t.flac" > "$out/seed_$3.flac"
  rm -f "$out/t.flac"
}
gen 8000 "-c:a flac -sample_fmt s16 -frame_size 256" s16_mono
gen 44100 "-c:a flac -sample_fmt s16 -ac 2 -frame_size 576" s16_stereo
gen 96000 "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24 -ac 6 -frame_size 1152" s24_6ch
# A tagged file through sox (libFLAC: seek table, Vorbis comments).
ffmpeg -nostdin -v quiet -y -f lavfi -i "sine=d=0.05:sample_rate=22050" -c:a pcm_u8 "$out/t.wav"
sox "$out/t.wav" -b 8 "$out/t.flac"
printf '\000\000' | cat - "$out/t.flac" > "$out/seed_sox_u8.flac"
rm -f "$out/t.wav" "$out/t.flac"
