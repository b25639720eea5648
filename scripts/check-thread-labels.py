#!/usr/bin/env python3
"""Lists the tests of a build that start a thread but lack the label "threads".

`make test-tsan` runs only the tests labelled "threads"; this finds the ones it would miss by
running every other test under strace and counting the threads it creates (CLONE_THREAD).
Programs that tests start as child processes (ffmpeg, sox) are not our code and are not counted.
usage: scripts/check-thread-labels.py [build dir]   (exit status 1 when a test is missing the label)
"""
import json
import shutil
import os
import subprocess
import sys
import tempfile

if not shutil.which("strace"):
    sys.exit("strace is needed: apt-get install strace")
build = sys.argv[1] if len(sys.argv) > 1 else "build"
listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-LE", "threads"],
                         check=True, capture_output=True, text=True).stdout
missing = []
with tempfile.TemporaryDirectory() as tmp:
    trace = os.path.join(tmp, "trace")
    for test in json.loads(listing)["tests"]:
        if "command" not in test:
            continue
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        env = dict(os.environ)
        for kv in props.get("ENVIRONMENT", []):
            key, value = kv.split("=", 1)
            env[key] = value
        cmd = test["command"]
        # A shell script's own children are outside programs; only our binaries count.
        follow = [] if os.path.basename(cmd[0]) in ("sh", "bash") else ["-f"]
        subprocess.run(["strace", *follow, "-qq", "-e", "trace=clone,clone3", "-o", trace, *cmd],
                       cwd=props.get("WORKING_DIRECTORY"), env=env, capture_output=True, timeout=600)
        with open(trace) as f:
            threads = sum("CLONE_THREAD" in line for line in f)
        if threads:
            missing.append((test["name"], threads))
for name, threads in missing:
    print(f"{name}: starts {threads} thread(s) but is not labelled 'threads'")
print(f"{len(missing)} unlabelled test(s) start threads")
sys.exit(1 if missing else 0)
