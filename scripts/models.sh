#!/usr/bin/env bash
# Sets up the hand models for the camera source: fetches @mediapipe/hands at a pinned version with
# npm, checks it, cuts the palm models out of its packed assets, converts all four models to ONNX
# (checked against a reference run of the originals) and keeps them, with their licence, in
# ${XDG_CACHE_HOME:-~/.cache}/quorvel/models (or $QUORVEL_MODEL_DIR). Does nothing when they are
# there already and unchanged (SHA256SUMS); converts again when one is missing or damaged.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="${QUORVEL_MODEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/models}"
(cd "$dir" 2>/dev/null && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1) && exit 0

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
check() { # FILE
  echo "${sums[$(basename "$1")]}  $1" | sha256sum --quiet -c - || fail "$1: wrong checksum"
}

mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "models.sh: setting up the hand models in $dir"
if [ ! -f "$dir/$tarball" ]; then
  (cd "$work" && npm pack --silent "$package" >/dev/null) || fail "npm pack $package failed"
  mv "$work/$tarball" "$dir/$tarball"
fi
check "$dir/$tarball"
tar xzf "$dir/$tarball" -C "$work" package/hand_landmark_lite.tflite \
  package/hand_landmark_full.tflite package/hands_solution_packed_assets.data
packed="$work/package/hands_solution_packed_assets.data"
# Byte ranges from the package's asset loader: palm full [11, 2341291), lite [2341291, 4326731).
head -c 2341291 "$packed" | tail -c +12 >"$work/palm_detection_full.tflite"
tail -c +2341292 "$packed" | head -c 1985440 >"$work/palm_detection_lite.tflite"
mv "$work"/package/hand_landmark_*.tflite "$work/"
for model in palm_detection_lite palm_detection_full hand_landmark_lite hand_landmark_full; do
  check "$work/$model.tflite"
  /usr/bin/python3 "$here/tflite2onnx.py" "$work/$model.tflite" "$dir/$model.onnx" ||
    fail "could not convert $model"
done
cp /usr/share/common-licenses/Apache-2.0 "$dir/LICENSE"
cat >"$dir/NOTICE" <<NOTE
The hand models here (palm_detection_*.onnx, hand_landmark_*.onnx) are converted from the models
in the npm package $package (MediaPipe Hands, Copyright Google LLC), licensed under the Apache
License, Version 2.0 (LICENSE beside this file). They were converted from TensorFlow Lite to ONNX
by Quorvel's scripts/tflite2onnx.py; the weights are otherwise unchanged.
NOTE
(cd "$dir" && sha256sum ./*.onnx LICENSE NOTICE >SHA256SUMS)
echo "models.sh: hand models ready"
