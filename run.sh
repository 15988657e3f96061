#!/usr/bin/env bash
# ./run.sh [FILE|URL]
# Installs what is missing, builds, and starts the player on FILE or URL, or
# on the demo clip the build generates (build/fixtures/demo.mp4).
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it plays a few
# seconds on Qt's offscreen platform and writes what the window showed to
# out/strevana-window.png.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target strevana-player fixtures
player=build/app/strevana-player

if [ $# -eq 0 ]; then
  set -- "$root/build/fixtures/demo.mp4"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): playing for a few seconds offscreen and saving the window to out/strevana-window.png"
  mkdir -p out
  QT_QPA_PLATFORM=offscreen \
  STREVANA_SNAPSHOT="$root/out/strevana-window.png" \
  STREVANA_SNAPSHOT_AFTER_MS="${STREVANA_SNAPSHOT_AFTER_MS:-4000}" \
    "$player" "$@"
  exit $?
fi
exec "$player" "$@"
