#!/usr/bin/env bash
# Builds Quorvel and starts the instrument. Arguments go to the window system.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# A webcam or a video needs the hand models: set up once, then cached.
case "${QUORVEL_TRACKING:-}" in camera* | video:*) scripts/models.sh ;; esac
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel
exec build/default/quorvel "$@"
