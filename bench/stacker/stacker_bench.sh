#!/usr/bin/env bash
# CPU of `orvella play --fast` on a 10-minute file with one gain module through
# the stacker against the same gain module alone (best of five runs each), in
# a temporary plug-in folder (the stacker writes plugin.ini beside itself).
# Usage: stacker_bench.sh [program-folder]   (default: build/OrvellaPlayer)
set -euo pipefail
stage="${1:-build/OrvellaPlayer}"
orvella="$stage/orvella"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$stage/plugins/dsp_orvella.so" "$stage/plugins/dsp_pilvo3.so" "$work/"
printf '[Pilvo]\nPlugins=dsp_orvella.so,0,1\n' > "$work/plugin.ini"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=600" -ac 2 -c:a pcm_s16le "$work/long.wav"

# Best CPU of five runs each, alternating, read from the children's rusage (microseconds).
python3 - "$orvella" "$work" <<'PY'
import os, resource, subprocess, sys
orvella, work = sys.argv[1], sys.argv[2]
env = dict(os.environ); env.pop("DISPLAY", None); env.pop("WAYLAND_DISPLAY", None)
def cpu(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
alone = [f"{work}/dsp_orvella.so:0", f"{work}/a.wav"]
stacked = [f"{work}/dsp_pilvo3.so:0", f"{work}/b.wav"]
best = {"alone": 1e9, "stacked": 1e9}
for _ in range(5):
    for name, (dsp, out) in (("alone", alone), ("stacked", stacked)):
        best[name] = min(best[name], cpu([orvella, "play", "--dsp", dsp, "--out", out, "--fast", f"{work}/long.wav"]))
print("10-minute WAV, fast capture (best of 5): gain alone %.3f s CPU, gain through the stacker %.3f s CPU, ratio %.3f"
      % (best["alone"], best["stacked"], best["stacked"] / best["alone"]))
PY
cmp -s <(tail -c +45 "$work/a.wav") <(tail -c +45 "$work/b.wav") && echo "same samples heard both ways" || echo "the two outputs differ"
