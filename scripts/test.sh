#!/usr/bin/env bash
# Builds and runs every test: the developer build (unit, concurrency and whole-program tests),
# the unit and concurrency tests under AddressSanitizer+UBSan, the concurrency tests under
# ThreadSanitizer, and the audio pass under the realtime sanitizer. Installs what it needs first.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test || exit 1
# A JACK database left broken by a killed client makes every JACK client die (see
# clear_stale_jack_database in tests/e2e/harness.py); with no JACK server running it can go.
pgrep -u "$(id -u)" -x 'jackd|jackdbus' >/dev/null || rm -rf "/dev/shm/jack_db-$(id -u)"
# The camera tests need the hand models (cached after the first run).
scripts/models.sh || exit 1

# One layout for all C++ code: an unformatted file fails the run before anything is built.
command -v clang-format >/dev/null || { echo "clang-format is missing"; exit 1; }
unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -oE '^[^:]+\.(cpp|h)' | sort -u)
if [ -n "$unformatted" ]; then
  echo "== format: these files differ from .clang-format (run clang-format -i on them) =="
  echo "$unformatted"
  echo
  echo "all presets: 0 passed, 1 failed"
  exit 1
fi

jobs=$(nproc)
passed=0
failed=0
status=0
for preset in default asan tsan rtsan; do
  echo "== $preset: build =="
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
    echo "== $preset: build failed =="
    status=1
    failed=$((failed + 1))
    continue
  fi
  echo "== $preset: test =="
  log=$(mktemp)
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
  [ "$rc" -ne 0 ] && status=1
done

echo
echo "all presets: $passed passed, $failed failed"
exit $status
