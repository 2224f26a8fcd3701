#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs, skipping those already present.
#
#   scripts/deps.sh play   what building and playing need (scripts/run.sh)
#   scripts/deps.sh test   that, and what the tests and benchmarks use (scripts/test.sh)
#   ... --list             prints the packages this release gets, one line, and changes nothing
#
# The release is read from /etc/os-release, or from the file QUORVEL_OS_RELEASE names (to see
# what another release would get, with --list).
#
# Nothing the machine has is ever removed or replaced: when a package cannot be installed
# without that (say a second sound server beside the desktop's), apt refuses, and this says
# which installed packages were in the way.
set -euo pipefail

# Building and playing: compiler, CMake, the libraries the program links, the offline renderer's
# sound files, and what the camera source's set-up uses (OpenCV; npm and Python for its model).
play_packages=(
  build-essential cmake pkg-config
  librtaudio-dev librtmidi-dev libglu1-mesa-dev
  nlohmann-json3-dev libwebsocketpp-dev libasio-dev
  libsndfile1-dev liblo-dev
  libopencv-dev
  nodejs npm python3 python3-onnx python3-flatbuffers python3-numpy python3-opencv
)

# Testing and measuring only: test frameworks, what the benchmarks measure against (FFTW, STK),
# sanitizers, the format check, a compile cache for the test builds, callgrind (the benchmarks'
# instruction counts), and the private display, sound servers (PulseAudio, JACK, PipeWire with its
# Pulse and JACK interfaces, ALSA's PulseAudio plugin) and tools the whole-program tests start for
# themselves.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev libstk-dev libfftw3-dev
  clang clang-format libclang-rt-19-dev git ccache valgrind
  xvfb xdotool x11-apps
  pulseaudio pulseaudio-utils sox libasound2-plugins
  jackd2 alsa-utils
  pipewire pipewire-bin pipewire-pulse pipewire-jack wireplumber dbus-daemon
  python3-websockets
  procps psmisc
)

usage() {
  echo "usage: scripts/deps.sh play|test [--list]" >&2
  exit 2
}
case "${1:-}" in
  play) packages=("${play_packages[@]}") ;;
  test) packages=("${play_packages[@]}" "${test_packages[@]}") ;;
  *) usage ;;
esac
list=
case "${2:-}" in
  "") ;;
  --list) list=1 ;;
  *) usage ;;
esac

# What each release names differently: GLUT's headers, ONNX Runtime, which Debian 13 has
# (Debian 12 takes it from npm, scripts/models.sh), and JACK's command-line clients, which
# Debian 13 moved out of jackd2. Ubuntu 24.04 (untried: this machine cannot reach its archive)
# names them as Debian 12 does: GLUT's headers by the old name (there a transitional package
# for libglut-dev), no ONNX Runtime in the archive, and jackd2 1.9.21, which still has the
# clients; several others (python3-onnx, libstk-dev) come from its universe component. Its
# 64-bit time renames (libasound2t64 and the like) touch only libraries, never the -dev packages
# named here. Anything else is refused before any change.
known="it needs Debian 12 (bookworm) or 13 (trixie), or Ubuntu 24.04 (noble); nothing was changed"
os_release=${QUORVEL_OS_RELEASE:-/etc/os-release}
release=$(. "$os_release" 2>/dev/null && echo "${ID:-}:${VERSION_CODENAME:-}:${PRETTY_NAME:-}" ||
  echo "::")
case "${release%:*}" in
  debian:bookworm | ubuntu:noble)
    packages+=(freeglut3-dev)
    [ "$1" = test ] && [ "${release%%:*}" = debian ] && packages+=(emscripten chromium) # the web page and its test
    ;;
  debian:trixie)
    packages+=(libglut-dev libonnxruntime-dev)
    [ "$1" = test ] && packages+=(jack-example-tools)
    ;;
  *)
    name=${release#*:*:}
    echo "deps.sh: ${name:-this system} is not a release this set-up knows: $known" >&2
    exit 1
    ;;
esac
if [ -n "$list" ]; then
  echo "${packages[*]}"
  exit 0
fi
if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  echo "deps.sh: this system has no apt (apt-get and dpkg); $known" >&2
  exit 1
fi

# Present: installed, or provided by an installed package (a Node.js build that brings its own
# npm provides npm, and Debian's npm would conflict with it).
present=" $(dpkg-query -W -f='${Status}\t${Package} ${Provides}\n' 2>/dev/null |
  sed -n 's/^install ok installed\t//p' | sed -E 's/ \([^)]*\)//g; s/,//g' | tr '\n' ' ') "
missing=()
for p in "${packages[@]}"; do
  [[ "$present" == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
if ! "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends --no-remove \
  -o DPkg::Lock::Timeout=600 "${missing[@]}"; then
  # Ask apt, without doing it, what it would have removed to make room.
  in_the_way=$(apt-get install -s -q --no-install-recommends "${missing[@]}" 2>/dev/null |
    sed -n 's/^Remv \([^ ]*\).*/\1/p' | sort -u | tr '\n' ' ' || true)
  if [ -n "$in_the_way" ]; then
    echo "Not installed: ${missing[*]}" >&2
    echo "They would remove or replace what this machine has: ${in_the_way}" >&2
    echo "Nothing was changed; install them by hand if you do want that." >&2
  else
    echo "apt-get could not install: ${missing[*]} (its message is above)" >&2
  fi
  exit 1
fi
