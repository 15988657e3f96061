#!/usr/bin/env bash
# playback_cpu.sh [SECONDS]: CPU used while playing, the player against mpv in
# the same run. Makes CIF, VGA and 720p clips (MPEG-4 Part 2 + AAC, 25 fps),
# plays each for SECONDS (default 8) at 100 % under a private Xvfb and the
# private PulseAudio null sink, and prints user+system CPU as a share of one
# core over the wall time, one line per player and clip. mpv (Debian's) is the
# anchor and is installed here when missing; it draws with its X11 output
# (software scaling, no GPU), as the player's raster path does. Last, CPU
# while paused: the player after a one-second clip has played to its end,
# mpv started paused, both sampled over four seconds once settled.
# Not part of ./test.sh. Needs build/app/strevana-player (./run.sh builds it).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-8}
player=$root/build/app/strevana-player
[ -x "$player" ] || { echo "build the player first (cmake --build build --target strevana-player)"; exit 1; }
command -v mpv >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mpv >/dev/null
command -v Xvfb >/dev/null || { echo "Xvfb missing (scripts/install-deps.sh installs it)"; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  bash "$root/scripts/test-audio.sh" stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A display of our own.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
eval "$(bash "$root/scripts/test-audio.sh" start)"

ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }
for size in 352x288 640x480 1280x720; do
  ff -f lavfi -i "testsrc2=size=$size:rate=25:duration=$((seconds + 4))" \
     -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$((seconds + 4))" \
     -c:v mpeg4 -q:v 3 -g 25 -bf 0 -c:a aac -b:a 96k "$work/clip_$size.mp4"
done

# cpu LABEL CLIP COMMAND...: runs the command and prints its CPU share.
cpu() {
  local label=$1 clip=$2; shift 2
  local out TIMEFORMAT='%U %S %R'
  out=$( { time DISPLAY=$display "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -n 1)
  read -r user sys wall <<<"$out"
  awk -v l="$label" -v c="$clip" -v u="$user" -v s="$sys" -v w="$wall" \
    'BEGIN { printf "%-16s %-9s cpu %5.1f %% of a core (user %.2f s, sys %.2f s, wall %.2f s)\n", l, c, 100 * (u + s) / w, u, s, w }'
}

for size in 352x288 640x480 1280x720; do
  clip=$work/clip_$size.mp4
  cpu strevana-player "$size" env STREVANA_SNAPSHOT="$work/shot.png" \
    STREVANA_SNAPSHOT_AFTER_MS=$((seconds * 1000)) "$player" "$clip"
  cpu mpv "$size" mpv --no-config --vo=x11 --ao=pulse --length="$seconds" --really-quiet "$clip"
done

# idle LABEL COMMAND...: CPU between the 3rd and 7th second of the command.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
idle() {
  local label=$1; shift
  DISPLAY=$display "$@" >/dev/null 2>&1 &
  local pid=$! hz
  hz=$(getconf CLK_TCK)
  sleep 3
  local a b
  a=$(ticks "$pid")
  sleep 4
  b=$(ticks "$pid")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v l="$label" -v a="$a" -v b="$b" -v hz="$hz" \
    'BEGIN { printf "%-16s paused    cpu %5.2f %% of a core\n", l, 100 * (b - a) / hz / 4 }'
}
ff -f lavfi -i "testsrc2=size=640x480:rate=25:duration=1" -f lavfi -i "sine=duration=1" \
   -c:v mpeg4 -c:a aac "$work/short.mp4"
idle strevana-player env STREVANA_SNAPSHOT="$work/shot.png" STREVANA_SNAPSHOT_AFTER_MS=9000 "$player" "$work/short.mp4"
idle mpv mpv --no-config --vo=x11 --ao=pulse --pause "$work/short.mp4"
