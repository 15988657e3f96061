#!/usr/bin/env bash
# run-fuzz.sh BUILD_DIR SECONDS: runs every fuzz target for SECONDS from its
# checked-in seed corpus and the fixture tool's seeds in build/fixtures
# (copied, so the repo's corpus stays as it is), as many at once as there are
# cores. Each target is a single-threaded process, so running them side by
# side gives each as many executions as running them one after the other.
set -euo pipefail
build=$1; seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
slots=$(nproc 2>/dev/null || echo 2)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fuzz_one() {
  local bin=$1 name=${1##*/fuzz-}
  local work="$scratch/$name"
  mkdir -p "$work"
  if [ -d "$root/tests/fuzz/corpus/$name" ]; then cp -r "$root/tests/fuzz/corpus/$name/." "$work/"; fi
  # Seeds made by the fixture tool in the main build, where there are any.
  if [ -d "$root/build/fixtures/fuzz-seeds/$name" ]; then cp -r "$root/build/fixtures/fuzz-seeds/$name/." "$work/"; fi
  if ASAN_OPTIONS=detect_leaks=1 "$bin" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
       -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    echo "fuzz-$name: ${seconds}s clean"
  else
    echo "fuzz-$name FAILED:"; tail -n 60 "$work.log"; return 1
  fi
}

status=0
running=0
for bin in "$build"/tests/fuzz/fuzz-*; do
  [ -x "$bin" ] || continue
  fuzz_one "$bin" &
  running=$((running + 1))
  if [ "$running" -ge "$slots" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
