#!/usr/bin/env bash
# Builds and runs every test: the developer build (unit, concurrency and whole-program tests),
# the unit and concurrency tests under AddressSanitizer+UBSan, the concurrency tests under
# ThreadSanitizer, and the audio pass under the realtime sanitizer; then the developer build and
# its tests again on the other supported Debian release, in a fresh root of it. Installs what it
# needs first.
#
#   scripts/test.sh                    all of that
#   scripts/test.sh --developer-build  the developer build's tests alone (what the fresh root runs)
#     [--whole-program-after FILE]     ... their whole-program tests once FILE exists
set -uo pipefail
cd "$(dirname "$0")/.."

developer_only=
gate=
usage() {
  echo "usage: scripts/test.sh [--developer-build [--whole-program-after FILE]]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --developer-build) developer_only=1 ;;
    --whole-program-after) [ $# -ge 2 ] && gate=$2 && shift || usage ;;
    *) usage ;;
  esac
  shift
done

# The other supported release is tested in a fresh root of it, which needs root: a user who is
# not root is asked for sudo now, in the foreground, as the root's part runs in the background
# where a password prompt would stop it. Without a terminal to ask on, that part is skipped.
other=
[ -z "$developer_only" ] && case "$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")" in
  bookworm) other=13 ;;
  trixie) other=12 ;;
  # Ubuntu 24.04 (noble) has no Debian archive to make a Debian root from: its own tests alone.
esac
sudo_cmd=()
if [ -n "$other" ] && [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo -n)
  if ! sudo -n true 2>/dev/null && ! { [ -t 0 ] && sudo -v; }; then
    echo "== Debian $other: skipped, its fresh root needs root (run as root, or with sudo at hand) =="
    other=
  else
    # Kept fresh until this run ends: the root's part starts many minutes from now.
    (while kill -0 $$ 2>/dev/null && sudo -n -v 2>/dev/null; do sleep 60; done) </dev/null &>/dev/null &
  fi
fi

scripts/deps.sh test || exit 1
# A JACK database left broken by a killed client makes every JACK client die (see
# clear_stale_jack_database in tests/e2e/harness.py); with no JACK server running it can go.
pgrep -u "$(id -u)" -r R,S,D -x 'jackd|jackdbus' >/dev/null || rm -rf "/dev/shm/jack_db-$(id -u)"
# The camera tests need the hand models (cached after the first run).
scripts/models.sh || exit 1

# One layout for all C++ code: an unformatted file fails the run before anything is built. Only
# on the full run: another release's clang-format lays code out differently.
[ -n "$developer_only" ] || command -v clang-format >/dev/null || { echo "clang-format is missing"; exit 1; }
[ -n "$developer_only" ] || { formatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1) || format_failed=1
  unformatted=$(grep -oE '^[^:]+\.(cpp|h)' <<<"$formatted" | sort -u); }
# A clang-format that cannot run (a .clang-format it cannot read) names no file: its own words.
[ -n "${format_failed:-}" ] && [ -z "$unformatted" ] && unformatted=$(head -n 5 <<<"$formatted")
if [ -n "${unformatted:-}" ]; then
  echo "== format: these files differ from .clang-format (run clang-format -i on them) =="
  echo "$unformatted"
  echo
  echo "all presets: 0 passed, 1 failed"
  exit 1
fi

# Compiled objects are kept between runs, keyed by their sources, compiler and flags, so a new
# clone rebuilds only what changed. Paths are taken relative to the clone, so any clone hits.
if command -v ccache >/dev/null; then
  export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/ccache}"
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

jobs=$(nproc)
passed=0
failed=0
status=0
logs=$(mktemp -d)

# The fresh root's build is made to be tested once: line tables are all a backtrace needs, and
# the full debug information would cost a quarter of its compile time.
configure=()
[ -n "$developer_only" ] && configure=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

# build NAME PRESET [BUILD OPTIONS]: configures and builds a preset; 0 or 1 in $logs/NAME.status.
build() {
  local name=$1 preset=$2 built=1
  shift 2
  cmake --preset "$preset" "${configure[@]}" >/dev/null &&
    cmake --build --preset "$preset" -j "$jobs" "$@" && built=0
  echo "$built" >"$logs/$name.part" && mv "$logs/$name.part" "$logs/$name.status"
}

# finished NAME: waits for a build made in the background, shows its output, returns its status.
finished() {
  while [ ! -e "$logs/$1.status" ]; do sleep 1; done
  cat "$logs/$1.log"
  return "$(cat "$logs/$1.status")"
}

# Each step's start, in minutes and seconds since the command began: where the time goes.
at() { printf '(at %dm%02ds)' $((SECONDS / 60)) $((SECONDS % 60)); }

build_failed() {
  echo "== $1: build failed == $(at)"
  echo "$1: the build" >>"$logs/failed"
  status=1
  failed=$((failed + 1))
}

# ctest_part PRESET LOG [CTEST OPTIONS]: one ctest run; adds its counts, and the names of the tests
# that failed to $logs/failed.
ctest_part() {
  local preset=$1 log=$2 summary total bad
  shift 2
  ctest --preset "$preset" -j "${ctest_jobs:-$jobs}" "$@" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -ne 0 ] && status=1
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  sed -nE "/^The following tests FAILED:/,/^Errors while running CTest/ s/^[[:space:]]+[0-9]+ - (.*)/$preset: \1/p" \
    "$log" >>"$logs/failed"
}

# The whole-program tests of the developer build come after its other tests: those keep both
# cores busy, and sound and timing need the time they leave. Three whole-program tests run side
# by side on two cores, as most use about half a core while they play; the page's, at about 1.4,
# takes two places. The camera's and the page's set-ups ran with the other tests.
# Nothing else runs meanwhile: the background builds are stopped, and the other release's root
# waits for its turn (--whole-program-after; at most 30 minutes, should this machine's side hang).
run_tests() {
  local preset=$1
  echo "== $preset: test == $(at)"
  if [ "$preset" = default ]; then
    ctest_part "$preset" "$logs/$preset.ctest" -LE e2e
    if [ -n "$gate" ]; then
      echo "== $preset: whole-program tests wait for the machine == $(at)"
      local waited=0
      while [ ! -e "$gate" ] && [ "$waited" -lt 1800 ]; do
        sleep 1
        waited=$((waited + 1))
      done
    fi
    echo "== $preset: whole-program tests == $(at)"
    [ -n "${builder:-}" ] && kill -STOP -- -"$builder" 2>/dev/null
    ctest_jobs=$((jobs + jobs / 2)) ctest_part "$preset" "$logs/$preset-e2e.ctest" -L e2e \
      --fixture-exclude-setup 'camera|web_built'
    [ -n "${builder:-}" ] && kill -CONT -- -"$builder" 2>/dev/null
  else
    ctest_part "$preset" "$logs/$preset.ctest"
  fi
}

# The sanitizer builds and the benchmarks are built in the background, on processor and disk time
# nothing else wants (SCHED_IDLE yields at once to any other task), and stopped while the
# whole-program tests run: beside them, even idle, their links cost those tests' sound underruns.
# Its own process group, so that an interrupted run stops it with everything it started.
sanitizers=(asan tsan rtsan)
[ -n "$developer_only" ] && sanitizers=()
set -m
[ -n "$developer_only" ] || (
  chrt --idle -p 0 "$BASHPID" >/dev/null 2>&1 || renice -n 19 -p "$BASHPID" >/dev/null
  ionice -c 3 -p "$BASHPID" >/dev/null 2>&1
  for preset in asan tsan rtsan; do
    build "$preset" "$preset" >"$logs/$preset.log" 2>&1
  done
  # The developer build's tree is free once its tests' part is built.
  while [ ! -e "$logs/default.status" ]; do sleep 1; done
  build benchmarks default >"$logs/benchmarks.log" 2>&1
) &
builder=$!
set +m
trap 'exit 130' INT TERM

# The other supported release: a fresh root of it, a fresh clone of this checkout's HEAD. It is
# prepared, built and unit-tested while this machine runs its sanitizer builds and tests, and its
# whole-program tests wait until those are done (the file "go" in the folder it shares).
other_job=
start_other() {
  [ -n "$other" ] || return 0
  echo "== Debian $other: developer build and tests in a fresh root, started == $(at)"
  mkdir -p "$logs/share"
  set -m
  (
    "${sudo_cmd[@]}" env QUORVEL_ROOT_SHARE="$logs/share" QUORVEL_ROOT_PACKAGES=test \
      scripts/fresh-root.sh "$other" \
      scripts/test.sh --developer-build --whole-program-after /root/share/go >"$logs/other.log" 2>&1
    echo $? >"$logs/other.status"
  ) &
  other_job=$!
  set +m
}
trap '[ -n "$builder" ] && kill -CONT -- -"$builder" 2>/dev/null && kill -- -"$builder" 2>/dev/null
  [ -n "$other_job" ] && kill -- -"$other_job" 2>/dev/null; rm -rf "$logs"' EXIT

echo "== default: build == $(at)"
build default default --target quorvel_tests
if [ "$(cat "$logs/default.status")" -eq 0 ]; then
  run_tests default
else
  build_failed default
fi
start_other
for preset in "${sanitizers[@]}"; do
  echo "== $preset: build == $(at)"
  if finished "$preset"; then
    run_tests "$preset"
  else
    build_failed "$preset"
  fi
done
if [ -z "$developer_only" ]; then
  echo "== benchmarks: build == $(at)"
  finished benchmarks || build_failed benchmarks
fi
builder=

if [ -n "$other" ]; then
  touch "$logs/share/go"
  echo "== Debian $other: its whole-program tests may start == $(at)"
  wait "$other_job"
  other_job=
  cat "$logs/other.log"
  [ "$(cat "$logs/other.status" 2>/dev/null || echo 1)" -ne 0 ] && status=1
  counts=$(sed -nE 's/^all presets: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/p' "$logs/other.log" | tail -n 1)
  if [ -n "$counts" ]; then
    passed=$((passed + ${counts% *}))
    failed=$((failed + ${counts#* }))
    sed -n '/^failed:$/,/^took / { /^  /s/^  /Debian '"$other"' /p }' "$logs/other.log" >>"$logs/failed"
  else
    build_failed "Debian $other"
  fi
fi

echo
if [ -s "$logs/failed" ]; then
  echo "failed:"
  sed 's/^/  /' "$logs/failed"
fi
echo "took $(at | tr -d '()at ')"
echo "all presets: $passed passed, $failed failed"
exit $status
