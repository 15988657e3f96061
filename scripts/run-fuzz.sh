#!/usr/bin/env bash
# run-fuzz.sh BUILD_DIR SECONDS: runs every fuzz target for SECONDS from its
# checked-in seed corpus and the fixture tool's seeds in build/fixtures
# (copied, so the repo's corpus stays as it is).
set -euo pipefail
build=$1; seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for bin in "$build"/tests/fuzz/fuzz-*; do
  [ -x "$bin" ] || continue
  name=${bin##*/fuzz-}
  work=$(mktemp -d)
  if [ -d "$root/tests/fuzz/corpus/$name" ]; then cp -r "$root/tests/fuzz/corpus/$name/." "$work/"; fi
  # Seeds made by the fixture tool in the main build, where there are any.
  if [ -d "$root/build/fixtures/fuzz-seeds/$name" ]; then cp -r "$root/build/fixtures/fuzz-seeds/$name/." "$work/"; fi
  echo "fuzz-$name: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 "$bin" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
       -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    echo "fuzz-$name FAILED:"; tail -n 60 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
