#!/usr/bin/env bash
# pacing.sh [strevana|ffplay ...]: how long each picture stays on screen, end
# to end. Plays a clip whose pictures cycle through eight grey levels in the
# real player under a private Xvfb (with the private null sink, so the sound
# clock runs), samples a small patch of the video area with x11grab at 250
# pictures per second and prints the durations of the shown pictures: mean,
# standard deviation, extremes, pictures skipped or repeated
# (tools/avsync/pacing.py). Each duration is known to the sampling period
# (4 ms). ffplay, run the same way in the same session,
# is the reference. PACING_FPS (default 25) and PACING_SECONDS (10) change the
# clip. Not part of ./test.sh. Needs build/app/strevana-player.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
players=("$@")
[ ${#players[@]} -gt 0 ] || players=(strevana ffplay)
seconds=${PACING_SECONDS:-10}
fps=${PACING_FPS:-25}

# shellcheck source=session.sh
. "$here/session.sh"

clip=$work/ramp.mp4
ff -f lavfi -i "color=c=black:s=320x240:r=$fps:d=$seconds,geq=lum='mod(N\,8)*28+16':cb=128:cr=128" \
   -f lavfi -i "sine=f=440:d=$seconds:sample_rate=48000" \
   -c:v mpeg4 -q:v 2 -g 25 -bf 0 -c:a aac -shortest "$clip"

for name in "${players[@]}"; do
  samples=$work/samples.txt
  # A 32x32 patch inside both players' video areas; -copyts keeps x11grab's
  # wall-clock stamps (microseconds), taken when each sample is grabbed.
  DISPLAY=$display ffmpeg -hide_banner -nostdin -loglevel info -y -copyts \
    -t $((seconds + 3)) -f x11grab -framerate 250 -draw_mouse 0 -video_size 32x32 \
    -grab_x 150 -grab_y 130 -i "$display" \
    -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-" -f null - \
    >"$samples" 2>"$work/grab.log" &
  grab=$!
  pids+=("$grab")
  sleep 1
  play_clip "$name" "$clip"
  wait "$grab" || cat "$work/grab.log" >&2
  [ -n "${PACING_KEEP:-}" ] && cp "$samples" "$PACING_KEEP.$name" || true
  printf '%-9s %s fps: ' "$name" "$fps"
  python3 "$here/pacing.py" "$samples" "$fps" || true
done
