#!/usr/bin/env bash
# avsync.sh [strevana|ffplay ...]: measures, end to end, when sound is heard
# against when the picture is seen. For each frame rate (10, 25, 29.97), audio
# rate (44.1, 48 kHz) and with and without an edit list, it makes a clip that
# flashes white and beeps once per second, plays it in the real player under a
# private Xvfb with the private PulseAudio null sink, captures the screen
# (x11grab) and the sink's monitor (pulse) in one ffmpeg process so that both
# share one clock, and prints per-event offsets with their mean, spread and
# worst (tools/avsync/analyse.py). Positive: the sound trails the picture.
# AVSYNC_FPS, AVSYNC_RATES, AVSYNC_EDITLISTS and AVSYNC_SECONDS narrow a run.
# ffplay, run the same way in the same session, is the reference.
# Not part of ./test.sh. Needs build/app/strevana-player.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
players=("$@")
[ ${#players[@]} -gt 0 ] || players=(strevana ffplay)
seconds=${AVSYNC_SECONDS:-10}

# shellcheck source=session.sh
. "$here/session.sh"

# clip FPS RATE EDITLIST OUT
clip() {
  local fps=$1 rate=$2 editlist=$3 out=$4
  # The beep starts at the flash picture's own time stamp.
  local start="ceil(floor(t)*($fps))/($fps)"
  ff -f lavfi -i "color=c=black:s=320x240:r=$fps:d=$seconds,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='eq(n\,ceil(floor(n/($fps))*($fps)))'" \
     -f lavfi -i "aevalsrc='if(between(t\,$start\,$start+0.03)\,0.8*sin(2*PI*1000*t)\,0)':s=$rate:d=$seconds" \
     -c:v mpeg4 -q:v 2 -g 25 -bf 0 -c:a aac -b:a 128k -use_editlist "$editlist" "$out"
}

# run NAME CLIP: plays the clip and captures it; prints the analysis.
run() {
  local name=$1 file=$2 capture=$work/capture.mkv
  rm -f "$capture"
  # -copyts keeps both inputs' wall-clock stamps, so durations go on the inputs.
  local length=$((seconds + 3))
  DISPLAY=$display ffmpeg -hide_banner -nostdin -loglevel error -y -copyts \
    -thread_queue_size 1024 -t $length -f x11grab -framerate 100 -draw_mouse 0 -video_size 320x240 -i "$display" \
    -thread_queue_size 1024 -t $length -f pulse -fragment_size 256 -i "$monitor" \
    -c:v libx264rgb -preset ultrafast -qp 0 -c:a pcm_s16le "$capture" 2>"$work/grab.log" &
  local grab=$!
  pids+=("$grab")
  sleep 1
  play_clip "$name" "$file"
  wait "$grab" || cat "$work/grab.log" >&2
  python3 "$here/analyse.py" "$capture" || true
  [ -n "${AVSYNC_KEEP:-}" ] && cp "$capture" "$AVSYNC_KEEP" || true
}

for fps in ${AVSYNC_FPS:-10 25 30000/1001}; do
  for rate in ${AVSYNC_RATES:-44100 48000}; do
    for editlist in ${AVSYNC_EDITLISTS:-1 0}; do
      file=$work/clip.mp4
      clip "$fps" "$rate" "$editlist" "$file"
      for name in "${players[@]}"; do
        printf '%-9s fps %-10s %5d Hz  edit list %s: ' "$name" "$fps" "$rate" "$editlist"
        run "$name" "$file" | tr '\n' ' '
        echo
      done
    done
  done
done
