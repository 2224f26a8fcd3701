#!/usr/bin/env bash
# Makes the README's pictures in docs/ with the real instrument, on a virtual display and a
# private sound server as the whole-program tests run it (scripts/screenshots.py):
#   docs/window.png   the window playing the demo on ten strings
#   docs/camera.png   the camera's view tracking a hand, from the camera tests' video of a real hand
# Run it again whenever the window's look changes, and commit the pictures. Installs what it needs
# (the test tools, the hand models, the hand photo the video is made from) and builds the
# instrument in build/play, as scripts/run.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
# ImageMagick reduces the pictures' colours; only this script uses it.
if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q 'ok installed'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y -q --no-remove imagemagick >/dev/null
fi
scripts/models.sh
cmake -S . -B build/play -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build/play -j "$(nproc)" --target quorvel
# The camera tests' videos, made as their fixture makes them; again when their maker changes.
videos=build/play/camera-videos
[ "$videos/pluck-in.avi" -nt tests/tracking/camera/makevideos.py ] ||
  /usr/bin/python3 tests/tracking/camera/makevideos.py "$videos"
QUORVEL_BINARY="$PWD/build/play/quorvel" QUORVEL_CAMERA_VIDEOS="$videos" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 scripts/screenshots.py docs
