#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs to build, run and test, skipping those already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  librtaudio-dev freeglut3-dev libglu1-mesa-dev
  nlohmann-json3-dev libwebsocketpp-dev libasio-dev librtmidi-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libstk-dev libfftw3-dev
  clang clang-format libclang-rt-19-dev
  xvfb xdotool x11-utils x11-apps imagemagick
  pulseaudio pulseaudio-utils sox
  jackd2 alsa-utils
  python3 python3-websockets python3-numpy
  procps psmisc
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
