#!/usr/bin/env bash
# start: prints shell assignments for a private PulseAudio daemon with a null
# sink when no sound server answers; stop (run with those assignments in the
# environment): ends the daemon that start made.
#
# PortAudio on Debian reaches PulseAudio through ALSA's "default" device: the
# pulseaudio package's /etc/alsa/conf.d/99-pulse.conf makes the pulse plugin
# (libasound2-plugins) the default whenever a server answers. Every run gets
# its own state folder, so runs side by side do not stop each other's server.
set -u
case "${1:-}" in
  start)
    # A server of the desktop session answers where the session says. Without
    # a session pactl would only make itself a runtime folder in /tmp.
    if { [ -n "${XDG_RUNTIME_DIR:-}" ] || [ -n "${PULSE_SERVER:-}" ]; } &&
       command -v pactl >/dev/null 2>&1 && pactl info >/dev/null 2>&1; then
      exit 0
    fi
    command -v pulseaudio >/dev/null 2>&1 || { echo "echo 'test-audio: pulseaudio missing; device tests will be skipped' >&2"; exit 0; }
    state=$(mktemp -d "${TMPDIR:-/tmp}/strevana-audio.XXXXXX") || exit 0
    mkdir -p "$state/runtime" && chmod 700 "$state/runtime"
    export XDG_RUNTIME_DIR="$state/runtime"
    export PULSE_RUNTIME_PATH="$state/runtime/pulse"
    # The null sink renders in blocks as long as the latency its clients ask
    # for, 2 s when nobody asks: a stream opened then waits up to 2 s before
    # the first buffer is consumed. A low-latency loopback from its monitor into
    # a second null sink keeps the blocks short, so playback starts at once and
    # runs in real time like a sound card.
    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false --disallow-exit \
      -n --load="module-null-sink sink_name=strevana_null" \
      --load="module-null-sink sink_name=strevana_drain" \
      --load="module-loopback source=strevana_null.monitor sink=strevana_drain latency_msec=20" \
      --load="module-native-protocol-unix" >/dev/null 2>&1 || true
    for _ in $(seq 1 50); do
      pactl info >/dev/null 2>&1 && break
      sleep 0.1
    done
    if pactl info >/dev/null 2>&1; then
      pactl set-default-sink strevana_null >/dev/null 2>&1 || true
      # The block the sink began before the loopback joined is still 2 s long.
      sleep 2
      echo "export XDG_RUNTIME_DIR='$XDG_RUNTIME_DIR' PULSE_RUNTIME_PATH='$PULSE_RUNTIME_PATH' STREVANA_TEST_AUDIO_STATE='$state'"
    else
      rm -rf "$state"
      echo "echo 'test-audio: could not start pulseaudio; device tests will be skipped' >&2"
    fi
    ;;
  stop)
    state=${STREVANA_TEST_AUDIO_STATE:-}
    if [ -n "$state" ] && [ -d "$state/runtime" ]; then
      XDG_RUNTIME_DIR="$state/runtime" PULSE_RUNTIME_PATH="$state/runtime/pulse" \
        pulseaudio --kill >/dev/null 2>&1 || true
      for _ in $(seq 1 30); do
        XDG_RUNTIME_DIR="$state/runtime" PULSE_RUNTIME_PATH="$state/runtime/pulse" \
          pulseaudio --check >/dev/null 2>&1 || break
        sleep 0.1
      done
      rm -rf "$state"
    fi
    ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
