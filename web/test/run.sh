#!/usr/bin/env bash
# The page's test: builds it (scripts/web.sh), installs the pinned playwright-core once, and drives
# Debian's headless chromium through page.test.mjs, then camera.test.mjs on the camera tests'
# videos ($QUORVEL_CAMERA_VIDEOS) against the desktop program beside QUORVEL_RENDER.
#   web/test/run.sh QUORVEL_RENDER
#   web/test/run.sh --prepare      builds the page and installs playwright-core, and stops there
# Exits 77 (skipped) when Emscripten or chromium is missing: scripts/deps.sh test installs both.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: web/test/run.sh QUORVEL_RENDER | --prepare" >&2; exit 2; }
render=$1
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
chromium=${QUORVEL_CHROMIUM:-/usr/bin/chromium}
if ! command -v emcc >/dev/null || [ ! -x "$chromium" ]; then
  echo "web test: needs emscripten and chromium (scripts/deps.sh test); skipped"
  exit 77
fi
"$source_dir/scripts/web.sh"
[ -d "$here/node_modules/playwright-core" ] ||
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
[ "$render" != --prepare ] || exit 0
cd "$here"
status=0 # both parts run even when the first fails: one run shows every failure
node page.test.mjs "$source_dir/dist/web" "$render" "$source_dir/examples" || status=$?
videos=${QUORVEL_CAMERA_VIDEOS:-}
if [ -z "$videos" ] || [ ! -f "$videos/pluck-in.avi" ]; then
  echo "web test: no camera videos (tests/camera/makevideos.py); the camera's hands not checked"
  exit "$status"
fi
QUORVEL_BINARY=${QUORVEL_BINARY:-$(dirname "$render")/quorvel} QUORVEL_SOURCE_DIR=$source_dir \
  node camera.test.mjs "$source_dir/dist/web" "$videos" || status=$?
exit "$status"
