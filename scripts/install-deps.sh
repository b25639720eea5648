#!/usr/bin/env bash
# Installs every build and test dependency on Debian 12. Quick when all is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
  libopenmpt-dev libfluidsynth-dev libsdl2-dev libmpg123-dev libflac-dev
  libcdio-dev libcdio-cdda-dev libcdio-paranoia-dev
  libcurl4-openssl-dev libvlc-dev vlc-plugin-base vlc-plugin-video-output libgsf-1-dev
  dvdauthor genisoimage libgsf-bin vlc-bin
  ffmpeg sox lame mpg123 python3 python3-mutagen libtag1-dev
  xvfb xauth x11-utils fluid-soundfont-gm timgm6mb-soundfont fonts-nanum
  desktop-file-utils shared-mime-info libglib2.0-bin dbus
  libx11-dev libxcb1-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
