#!/usr/bin/env bash
# Installs what is missing, builds, and starts the player on FILE or URL (or on
# the demo clip the build generates).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ ! -x build/app/strevana-player ]; then
  echo "run.sh: the player's window is not built yet (build/app/strevana-player is missing); nothing to play." >&2
  exit 1
fi
exec build/app/strevana-player "$@"
