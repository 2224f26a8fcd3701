#!/usr/bin/env bash
# Builds Quorvel and starts the instrument. Arguments go to the window system.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel
exec build/default/quorvel "$@"
