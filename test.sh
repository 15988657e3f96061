#!/usr/bin/env bash
# Installs what is missing, builds everything (tests included) and runs every
# test; then does the same under AddressSanitizer + UBSan, then runs the fuzz
# targets briefly from their seed corpora.
#
# ./test.sh --quick: the plain build and its tests only (daily work); CI runs
# everything.
set -euo pipefail
quick=false
[ "${1:-}" = "--quick" ] && quick=true
cd "$(dirname "$0")"
root=$(pwd)

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

# A private sound server with a null sink, so PortAudio has a real default device.
# Also on an interrupted run: the valgrind pass that runs in the background
# and its log go with the sound server.
valgrind_pid="" valgrind_log=""
cleanup() {
  if [ -n "$valgrind_pid" ]; then kill "$valgrind_pid" 2>/dev/null || true; fi
  if [ -n "$valgrind_log" ]; then rm -f "$valgrind_log"; fi
  bash scripts/test-audio.sh stop || true
}
trap cleanup EXIT
# shellcheck disable=SC1090
eval "$(bash scripts/test-audio.sh start)"

build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DSTREVANA_WERROR=ON "$@" &&
  cmake --build "$dir" -j "$jobs"
}
run_tests() {
  (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 600)
}
build_and_test() { build "$@" && run_tests "$1"; }

# Line tables are all a failure report needs (valgrind's, the sanitizers' and
# gdb's stacks name file and line); full debug info costs a quarter of the
# optimised builds' time.
lines_only=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

if $quick; then
  echo "== build and test (build/)"
  build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}"
  echo "== quick run: plain build tests passed"
  exit 0
fi

echo "== build (build/)"
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}"

# FFmpeg is not instrumented: AddressSanitizer cannot see it write past our
# picture buffers. Memcheck can, on the decoding cases. It needs one core; the
# tests below mostly wait on sockets, timers and the sound server, so both run
# side by side and the report follows the tests'.
echo "== test (build/), valgrind over the decoding tests beside them"
valgrind_log=$(mktemp)
timeout 1200 valgrind --quiet --error-exitcode=99 --errors-for-leak-kinds=none \
  --suppressions="$root/tests/valgrind.supp" \
  build/tests/strevana_media_tests \
  --gtest_filter='Mp4FileSourceSizes.*:*Mp4FileSourcePictures.StepsForward*:Mp4FileSourceFormat.*:Mp4FileSourceAudio.*:Mp4FileSourceOpen.Garbled*' \
  >"$valgrind_log" 2>&1 &
valgrind_pid=$!
tests_status=0
run_tests build || tests_status=$?
valgrind_status=0
wait "$valgrind_pid" || valgrind_status=$?
valgrind_pid=""
echo "== valgrind over the decoding tests: exit $valgrind_status"
if [ "$valgrind_status" -ne 0 ]; then cat "$valgrind_log"; fi
rm -f "$valgrind_log"
if [ "$tests_status" -ne 0 ] || [ "$valgrind_status" -ne 0 ]; then exit 1; fi

# Built by clang: unoptimised and instrumented, it compiles this tree in half
# the time gcc takes, and its warnings are errors here as gcc's are above.
echo "== sanitizer build and test (build-sanitize/)"
CC=clang CXX=clang++ \
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSTREVANA_SANITIZE=ON

# The audio queue is shared with the sound library's callback thread.
echo "== thread sanitizer build, audio tests (build-tsan/)"
cmake -S . -B build-tsan -G Ninja -DSTREVANA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTREVANA_TSAN=ON \
  "${lines_only[@]}"
cmake --build build-tsan -j "$jobs" --target strevana_audio_tests
# This TSan runtime cannot cope with the wide address randomisation of newer
# kernels; run without it where the container allows that.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/audio/tsan.supp" \
  timeout 600 "${norandom[@]}" build-tsan/tests/strevana_audio_tests

if [ -f tests/fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets (build-fuzz/)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTREVANA_FUZZ=ON -DSTREVANA_TESTS=OFF -DSTREVANA_WERROR=ON "${lines_only[@]}"
  cmake --build build-fuzz -j "$jobs" --target fuzz-all
  bash scripts/run-fuzz.sh build-fuzz "${STREVANA_FUZZ_SECONDS:-20}"
fi
echo "== all tests passed"
