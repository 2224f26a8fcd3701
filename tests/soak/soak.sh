#!/usr/bin/env bash
# Opt-in endurance run (not in ctest, not in CI): builds the program and plays the built-in demo
# performance under it for an hour after a five-minute warm-up, sampling its memory each minute;
# see soak.py.
#   tests/soak/soak.sh [SECONDS [BUILD_DIR]]      defaults: 3900, build/default
# Further soak.py options may follow, e.g. --bound-kib 8192.
set -euo pipefail
cd "$(dirname "$0")/../.."
duration=${1:-3900}
build=${2:-build/default}
shift $(($# > 2 ? 2 : $#))
[ -f "$build/CMakeCache.txt" ] || cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j2 --target quorvel
exec /usr/bin/python3 tests/soak/soak.py --binary "$build/quorvel" --duration "$duration" "$@"
