#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmarks need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config make
  qt6-base-dev libqt6opengl6-dev libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libpostproc-dev
  portaudio19-dev libasound2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  # Qt's own dialogs in the chosen language
  qt6-translations-l10n
  # tests, fixtures and benchmarks
  ffmpeg libopencore-amrnb-dev libvo-amrwbenc-dev libyuv-dev
  pulseaudio pulseaudio-utils libasound2-plugins xvfb xauth
  # the OpenGL renderer's tests: Mesa's software OpenGL under Xvfb
  libgl1-mesa-dri libglx-mesa0
  clang llvm libclang-rt-14-dev valgrind
  procps
  # the installed desktop entry's check; a window manager, real input and a
  # screen grab (xwd) for the end-to-end run
  desktop-file-utils openbox xdotool x11-apps
  # streaming tests: GStreamer's RTSP server as a real peer
  python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-libav
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
