#!/usr/bin/env bash
# Sets up the hand models for the camera source: fetches @mediapipe/hands at a pinned version with
# npm, checks it, cuts the palm models out of its packed assets, converts all four models to ONNX
# (checked against a reference run of the originals) and keeps them, with their licence, in
# ${XDG_CACHE_HOME:-~/.cache}/quorvel/models (or $QUORVEL_MODEL_DIR). Then ONNX Runtime, which runs
# them at a fifth of OpenCV's cost: the models in the form it reads, in onnxruntime/ there, and,
# where the distribution has no ONNX Runtime (Debian 12), its library from the npm package
# onnxruntime-node at a pinned version, checked. Each part does
# nothing when it is there already and unchanged (SHA256SUMS), and is made again when damaged.
# Every file is written under a temporary name and renamed into place; one set-up at a time works
# in the folder (flock), so a second one started beside it waits and then finds everything made.
# A failure exits 1 and leaves what worked. The player says which ONNX Runtime it loads:
# --onnxruntime=system (the distribution's, which it links) or --onnxruntime=bundled (its own
# copy in this cache); without it, what the installed player links says, else a build from this
# checkout links the system's when pkg-config finds it.
set -euo pipefail
# Installed, the converter lies under /usr: nothing may be written beside it.
export PYTHONDONTWRITEBYTECODE=1
here="$(cd "$(dirname "$0")" && pwd)"
dir="${QUORVEL_MODEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/models}"
runtime="$dir/onnxruntime"
intact() { (cd "$1" 2>/dev/null && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1); }
case "$(uname -m)" in
  x86_64) platform=x64 library_sum=ffb75a925ba05e47b235bb66e3e3911714a80b328a9c9425539feb204aa32a23 ;;
  aarch64) platform=arm64 library_sum=1f549d46250b005580b597f4164984aaf75b3bcb9f3aeb07c7f8a8fe60b23c76 ;;
  *) platform= ;;
esac
# A player that links the distribution's ONNX Runtime (built on Debian 13) needs only its models.
mode=
for argument in "$@"; do
  case "$argument" in
    --onnxruntime=system | --onnxruntime=bundled) mode=${argument#*=} ;;
    *) echo "models.sh: unknown argument $argument (--onnxruntime=system or bundled)" >&2; exit 2 ;;
  esac
done
player="$here/../../libexec/quorvel/quorvel-player"
if [ -z "$mode" ] && [ -x "$player" ]; then
  ldd "$player" 2>/dev/null | grep 'libonnxruntime\.so' >/dev/null && mode=system || mode=bundled
fi
[ -n "$mode" ] || { pkg-config --exists libonnxruntime 2>/dev/null && mode=system || mode=bundled; }
[ "$mode" = system ] && platform=system
# Where the set-up has no ONNX Runtime build, this file says so to the camera source.
unavailable="$dir/onnxruntime-unavailable"
runtime_done() {
  case "$platform" in
    "") [ -f "$unavailable" ] ;;
    system) intact "$runtime" ;;
    *) intact "$runtime" && [ -f "$runtime/libonnxruntime.so.1" ] ;;
  esac
}
intact "$dir" && runtime_done && exit 0

package=@mediapipe/hands@0.4.1675469240
tarball=mediapipe-hands-0.4.1675469240.tgz
declare -A sums=(
  [$tarball]=bdd5be939c60cbd72a49f4b6141407683cf2a67263598e1a44757d70b3dfcb8a
  [hand_landmark_lite.tflite]=d7fde8ac11f8ce03f8663775bfc323f4fc9f2a38062b4f4efa142874ef5b2a48
  [hand_landmark_full.tflite]=8c026882c9ec059ce0f8e75266bee5a9a23c341a40e0000df755374d3d1b9b68
  [palm_detection_full.tflite]=2f25e740121983f68ffc05f99991d524dc0ea812134f6316a26125816941ee85
  [palm_detection_lite.tflite]=e9a4aaddf90dda56a87235303cf00e4c2d3fb28725f68fd88772997dac905c18
)
fail() { echo "models.sh: $*" >&2; exit 1; }
matches() { # FILE: has its pinned checksum
  echo "${sums[$(basename "$1")]}  $1" | sha256sum --quiet -c - >/dev/null 2>&1
}
check() { matches "$1" || fail "$1: wrong checksum"; }

mkdir -p "$dir"
exec 9>>"$dir/.lock"
if ! flock -n 9; then
  echo "models.sh: waiting for another set-up of $dir to finish"
  flock 9
fi
intact "$dir" && runtime_done && exit 0
rm -rf "$dir"/.work.* # left by a set-up that was killed
# Beside the cache, on its file system, so that moving a finished file in is one rename.
work=$(mktemp -d "$dir/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
put() { mv -f "$1" "$2/"; } # FILE FOLDER

# The package is checked before it enters the cache. A damaged copy (in the cache, or as fetched)
# is deleted and fetched again, once.
fetch_package() {
  [ -f "$dir/$tarball" ] && matches "$dir/$tarball" && return 0
  rm -f "$dir/$tarball"
  for attempt in 1 2; do
    (cd "$work" && npm pack --silent "$package" >/dev/null) || fail "npm pack $package failed"
    if matches "$work/$tarball"; then
      put "$work/$tarball" "$dir"
      return 0
    fi
    rm -f "$work/$tarball"
    [ "$attempt" = 2 ] || echo "models.sh: $tarball: wrong checksum; fetching it again" >&2
  done
  fail "$tarball: wrong checksum again; nothing kept"
}

set_up_models() {
  echo "models.sh: setting up the hand models in $dir"
  fetch_package
  tar xzf "$dir/$tarball" -C "$work" package/hand_landmark_lite.tflite \
    package/hand_landmark_full.tflite package/hands_solution_packed_assets.data
  packed="$work/package/hands_solution_packed_assets.data"
  # Byte ranges from the package's asset loader: palm full [11, 2341291), lite [2341291, 4326731).
  head -c 2341291 "$packed" | tail -c +12 >"$work/palm_detection_full.tflite"
  tail -c +2341292 "$packed" | head -c 1985440 >"$work/palm_detection_lite.tflite"
  mv "$work"/package/hand_landmark_*.tflite "$work/"
  for model in palm_detection_lite palm_detection_full hand_landmark_lite hand_landmark_full; do
    check "$work/$model.tflite"
    /usr/bin/python3 "$here/tflite2onnx.py" "$work/$model.tflite" "$work/$model.onnx" ||
      fail "could not convert $model"
    put "$work/$model.onnx" "$dir"
  done
  cp /usr/share/common-licenses/Apache-2.0 "$work/LICENSE"
  cat >"$work/NOTICE" <<NOTE
The hand models here (palm_detection_*.onnx, hand_landmark_*.onnx) are converted from the models
in the npm package $package (MediaPipe Hands, Copyright Google LLC), licensed under the Apache
License, Version 2.0 (LICENSE beside this file). They were converted from TensorFlow Lite to ONNX
by Quorvel's scripts/tflite2onnx.py; the weights are otherwise unchanged.
NOTE
  put "$work/LICENSE" "$dir" && put "$work/NOTICE" "$dir"
  (cd "$dir" && sha256sum ./*.onnx LICENSE NOTICE) >"$work/SHA256SUMS"
  put "$work/SHA256SUMS" "$dir"
  echo "models.sh: hand models ready"
}

if intact "$dir"; then
  echo "models.sh: the hand models in $dir are ready"
else
  set_up_models
fi

# Made from the same pinned package, the runtime's models stay as they were: it is left alone.
runtime_done && exit 0
if [ -z "$platform" ]; then
  echo "ONNX Runtime has no build for $(uname -m)" >"$work/onnxruntime-unavailable"
  put "$work/onnxruntime-unavailable" "$dir"
  echo "models.sh: no ONNX Runtime for $(uname -m); the hand models will run on OpenCV"
  exit 0
fi
rm -f "$unavailable"
# Errors here are checked one by one (errexit does not reach into a function run as a condition).
convert_for_runtime() { # FOLDER
  for model in palm_detection_lite palm_detection_full hand_landmark_lite hand_landmark_full; do
    /usr/bin/python3 "$here/tflite2onnx.py" --clip-inputs "$dir/$model.onnx" "$1/$model.onnx" ||
      fail "could not convert $model for ONNX Runtime"
  done
}
set_up_runtime() {
  echo "models.sh: setting up ONNX Runtime in $runtime"
  ort_package=onnxruntime-node@1.30.0
  ort_tarball=onnxruntime-node-1.30.0.tgz
  ort_sum=6e3390d6b783e7be946fad629292799da28d0b42f84856e50d2c1b0383291e75
  # Made whole beside the cache, then moved in place of what was there.
  local made="$work/onnxruntime"
  mkdir -p "$made" || fail "cannot write $work"
  if [ "$platform" = system ]; then
    convert_for_runtime "$made"
    echo "The models here are the hand models one folder up (see its NOTICE, Apache License 2.0)" \
      "with each Clip's bounds given as inputs, the form ONNX Runtime reads." >"$made/NOTICE"
    (cd "$made" && sha256sum ./*.onnx NOTICE >SHA256SUMS) || fail "cannot write $made"
    rm -rf "$runtime" && mv "$made" "$runtime" || fail "cannot write $runtime"
    echo "models.sh: models for the system's ONNX Runtime ready"
    return 0
  fi
  (cd "$work" && npm pack --silent "$ort_package" >/dev/null) || fail "npm pack $ort_package failed"
  echo "$ort_sum  $work/$ort_tarball" | sha256sum --quiet -c - || fail "$ort_tarball: wrong checksum"
  library=package/bin/napi-v6/linux/$platform/libonnxruntime.so.1
  tar xzf "$work/$ort_tarball" -C "$work" "$library" || fail "$ort_tarball: no $library"
  rm "$work/$ort_tarball" # 110 MB for every platform; only the one library is kept
  echo "$library_sum  $work/$library" | sha256sum --quiet -c - ||
    fail "libonnxruntime.so.1: wrong checksum"
  put "$work/$library" "$made" || fail "cannot write $made"
  convert_for_runtime "$made"
  cat >"$made/LICENSE" <<'LICENCE'
MIT License

Copyright (c) Microsoft Corporation

Permission is hereby granted, free of charge, to any person obtaining a copy
of this software and associated documentation files (the "Software"), to deal
in the Software without restriction, including without limitation the rights
to use, copy, modify, merge, publish, distribute, sublicense, and/or sell
copies of the Software, and to permit persons to whom the Software is
furnished to do so, subject to the following conditions:

The above copyright notice and this permission notice shall be included in all
copies or substantial portions of the Software.

THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR
IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,
FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE
AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER
LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE
SOFTWARE.
LICENCE
  cat >"$made/NOTICE" <<NOTE
libonnxruntime.so.1 is ONNX Runtime 1.30.0 for Linux $platform, taken unchanged from the npm
package $ort_package, licensed under the MIT License (LICENSE beside this file). The models
here are the hand models one folder up (see its NOTICE, Apache License 2.0) with each Clip's
bounds given as inputs, the form ONNX Runtime reads; the weights are unchanged.
NOTE
  (cd "$made" && sha256sum ./*.onnx libonnxruntime.so.1 LICENSE NOTICE >SHA256SUMS) ||
    fail "cannot write $made"
  rm -rf "$runtime" && mv "$made" "$runtime" || fail "cannot write $runtime"
  echo "models.sh: ONNX Runtime ready"
}

# Without it the camera still works, on OpenCV, but the set-up has failed. What is there does
# not serve this player (one that does is left alone above): it goes, or the camera would try it.
if ! (set_up_runtime); then
  rm -rf "$runtime"
  echo "models.sh: ONNX Runtime is not set up; the hand models will run on OpenCV, at about five" \
    "times the CPU" >&2
  exit 1
fi
