#!/usr/bin/env bash
# Finds the test executables that start a thread (their own or a library's) but lack the
# CTest label "threads", so `make test-tsan` covers every threaded test, not a chosen set.
# Runs the suite of a normal (uninstrumented) build once with a small preloaded library
# that records which processes call pthread_create. Exit status 1 when one is unlabelled.
# usage: check-thread-labels.sh [build dir] [extra ctest arguments...]
set -uo pipefail
build="$(cd "${1:-build}" && pwd)"
shift || true
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cc -shared -fPIC -O1 -o "$work/census.so" "$here/thread_census.c" -ldl || exit 2
census="$work/census.txt"
: >"$census"
LD_PRELOAD="$work/census.so" ORVELLA_THREAD_CENSUS="$census" \
  ctest --test-dir "$build" -j "${JOBS:-2}" --timeout 300 "$@" >"$work/ctest.log" 2>&1
grep -E "tests passed|tests failed|Total Test time" "$work/ctest.log" >&2
sed -n "/The following tests FAILED/,/^$/p" "$work/ctest.log" >&2

# Test and fuzz-driver executables that started a thread in at least one of their tests.
threaded="$(awk -v t="$build/tests/" -v f="$build/fuzz/" 'index($1, t) == 1 || index($1, f) == 1 { sub(".*/", "", $1); print $1 }' "$census" | sort -u)"
# Test executables with the label, from CTest's own listing.
ctest --test-dir "$build" -N -L threads --show-only=json-v1 >"$work/labelled.json" 2>/dev/null
labelled="$(python3 - "$work/labelled.json" <<'EOF'
import json, os, sys
data = json.load(open(sys.argv[1]))
print("\n".join(sorted({os.path.basename(t["command"][0]) for t in data.get("tests", []) if t.get("command")})))
EOF
)"
status=0
for exe in $threaded; do
  if ! grep -qx "$exe" <<<"$labelled"; then
    echo "starts threads but is not labelled \"threads\": $exe"
    awk -v e="/$exe" 'substr($1, length($1) - length(e) + 1) == e && $2 != "" { print "    " $2 }' "$census" | sort -u | head -5
    status=1
  fi
done
[ $status = 0 ] && echo "every test executable that starts a thread is labelled \"threads\""
exit $status
