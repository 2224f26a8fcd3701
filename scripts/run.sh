#!/usr/bin/env bash
# Builds Quorvel and starts the instrument. Installs only what building and playing need; the
# build has no tests or benchmarks, in a tree of its own (build/play). Arguments go to the
# program (scripts/run.sh --help lists them); those it does not know go to the window system.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh play
# A webcam or a video needs the hand models: set up once, then cached. A failed set-up (perhaps
# only ONNX Runtime's part) does not stop the instrument: the camera says what it can still do.
case "${QUORVEL_TRACKING:-}" in camera* | video:*) scripts/models.sh || true ;; esac
cmake -S . -B build/play -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build/play -j "$(nproc)" --target quorvel quorvel-render
exec build/play/quorvel "$@"
