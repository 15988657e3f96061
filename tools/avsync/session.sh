# Sourced by the end-to-end measures in this folder: a private Xvfb display and
# the private PulseAudio null sink, both ended on exit, and play_clip to run
# one player on a clip. Needs $root (the project root) and $seconds.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${STREVANA_TEST_AUDIO_STATE:-}" ] && bash "$root/scripts/test-audio.sh" stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
eval "$(bash "$root/scripts/test-audio.sh" start)"
monitor=$(pactl get-default-sink).monitor
player=$root/build/app/strevana-player

ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }

# play_clip NAME FILE: plays FILE to its end in strevana (the project's build)
# or ffplay, both with their window at the screen's top left corner.
play_clip() {
  case $1 in
    strevana)
      DISPLAY=$display STREVANA_SNAPSHOT=$work/shot.png STREVANA_SNAPSHOT_AFTER_MS=$(((seconds + 1) * 1000)) \
        "$player" "$2" >/dev/null 2>&1 || true ;;
    ffplay)
      DISPLAY=$display SDL_AUDIODRIVER=pulseaudio timeout $((seconds + 2)) \
        ffplay -hide_banner -loglevel error -autoexit -x 320 -y 240 -left 0 -top 0 "$2" >/dev/null 2>&1 || true ;;
    *) echo "unknown player $1" >&2; return 1 ;;
  esac
}
