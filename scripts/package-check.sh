#!/usr/bin/env bash
# Builds the Debian package for a release and proves it in a fresh root of that release with no
# compiler: installed with apt as a player would, it prints its version and help (loading no
# window or camera library), starts its player to list the sound devices, renders an
# installed example by its short name, writes nothing under /usr, and purging it (with what it
# brought) leaves /usr as it was.
#
#   scripts/package-check.sh 12|13 [--recommends]
#
# The root gets what the package depends on; with --recommends also what it recommends (the
# camera's set-up tools, about 900 packages more on Debian 12: half an hour instead of minutes),
# as a plain "apt install ./quorvel_....deb" does.
# The package is built on this machine when it runs that release, else in a fresh root of it.
# Needs root, as scripts/fresh-root.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --inside ]; then
  # In the bare root: $2 is the package, $3 apt's option for the recommended packages.
  deb=$2
  fail() { echo "package-check: $*" >&2; exit 1; }
  for tool in cc c++ g++ cmake make; do
    ! command -v "$tool" >/dev/null || fail "the root already has $tool"
  done
  find /usr -xdev | sort >/tmp/usr-before
  installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
  installed_packages >/tmp/packages-before
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q "${3:---no-install-recommends}" "$deb" >/tmp/install.log 2>&1 || { cat /tmp/install.log; fail "install failed"; }
  # The package's own dependencies bring no build tools. (Debian's npm, which the camera's set-up
  # uses, does: node-gyp depends on libnode-dev and recommends build-essential. It is suggested.)
  dev=$(dpkg-query -W -f='${Package}\n' | grep -E -- '-dev$|^(gcc|g\+\+|clang|make|cmake)(-[0-9]+)?$' || true)
  if [ "${3:-}" = --install-recommends ]; then
    echo "package-check: with the recommended packages came $(echo $dev | wc -w) build packages"
  else
    [ -z "$dev" ] || fail "installing the package brought build packages: $dev"
  fi
  marker=$(mktemp)
  version=$(sed -nE 's/^project\(Quorvel VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
  # The version, then the copyright and the licence.
  [ "$(quorvel --version | head -n 1)" = "quorvel $version" ] &&
    quorvel --version | grep -q '^MIT License' || fail "quorvel --version: $(quorvel --version)"
  [ "$(quorvel-render --version | head -n 1)" = "quorvel-render $version" ] &&
    quorvel-render --version | grep -q '^MIT License' || fail "quorvel-render --version"
  env -u DISPLAY quorvel --help | grep -q '^Usage: quorvel' || fail "quorvel --help"
  # Help and version come from a program of its own, without the window's or camera's libraries;
  # anything else runs the installed player in its place.
  heavy=$(ldd "$(command -v quorvel)" | grep -E 'opencv|onnxruntime|libGL|glut' || true)
  [ -z "$heavy" ] || fail "quorvel --version loads $heavy"
  env -u DISPLAY quorvel --list-devices | grep -q '^alsa' || fail "quorvel --list-devices: no player"
  env -u DISPLAY quorvel --help | grep -q "/usr/share/quorvel/models.sh" ||
    fail "quorvel --help does not name the installed model set-up"
  cd /tmp
  quorvel-render amazing-grace grace.wav >render.out 2>render.err || { cat render.err; fail "render"; }
  notes=$(grep -c '^note: ' render.out || true)
  [ "$notes" -ge 10 ] && [ "$(stat -c %s grace.wav)" -gt 100000 ] ||
    fail "the rendered example has $notes notes, $(stat -c %s grace.wav) bytes"
  written=$(find /usr -xdev -newer "$marker" -not -type d)
  [ -z "$written" ] || fail "written under /usr while running: $written"
  for file in /usr/libexec/quorvel/quorvel-player \
    /usr/share/man/man1/quorvel.1.gz /usr/share/man/man1/quorvel-render.1.gz \
    /usr/share/applications/quorvel.desktop /usr/share/icons/hicolor/scalable/apps/quorvel.svg \
    /usr/share/icons/hicolor/256x256/apps/quorvel.png /usr/share/doc/quorvel/copyright; do
    [ -s "$file" ] || fail "$file is missing"
  done
  owned=$(dpkg-query -L quorvel | grep '/quorvel' || true)
  apt-get purge -y -q --autoremove quorvel >/dev/null 2>&1 || fail "purge failed"
  # Autoremove keeps some of what came with it: on Debian 13 gnupg, which OpenCV brings through
  # GDAL, poppler and gpgme, stays as apt itself suggests it, and adduser and libidn2 with it.
  # Those are apt's choice, not files of ours: purged by name, they must take the rest.
  kept=$(comm -13 /tmp/packages-before <(installed_packages))
  if [ -n "$kept" ]; then
    echo "package-check: apt's autoremove kept" $kept
    apt-get purge -y -q $kept >/dev/null 2>&1 || fail "purging $kept failed"
  fi
  for file in $owned; do
    [ ! -e "$file" ] || fail "$file is still there after the purge"
  done
  # Recommended packages that others recommend stay (apt's autoremove keeps them): the whole of
  # /usr is compared only when the root got the package's dependencies alone.
  if [ "${3:-}" != --install-recommends ]; then
    find /usr -xdev | sort >/tmp/usr-after
    left=$(comm -13 /tmp/usr-before /tmp/usr-after)
    [ -z "$left" ] || fail "left under /usr after the purge: $left"
  fi
  echo "package-check: installed, ran ($notes notes rendered) and purged cleanly"
  exit 0
fi

case "${1:-}" in
  12 | bookworm) release=12 ;;
  13 | trixie) release=13 ;;
  *) echo "usage: scripts/package-check.sh 12|13 [--recommends]" >&2; exit 2 ;;
esac
recommends=--no-install-recommends
[ "${2:-}" = --recommends ] && recommends=--install-recommends
start=$(date +%s)
dist="$PWD/dist"
mkdir -p "$dist"
. /etc/os-release
if [ "${VERSION_ID:-}" = "$release" ]; then
  deb=$(scripts/package.sh | tail -n 1)
else
  # The build's log comes out when it fails: the root goes with the run.
  QUORVEL_ROOT_SHARE="$dist" scripts/fresh-root.sh "$release" bash -c 'set -o pipefail
    deb=$(scripts/package.sh | tail -n 1) && cp "$deb" /root/share/ && exit 0
    cp build/package/build.log /root/share/build-failed.log 2>/dev/null; exit 1' ||
    { echo "package-check: the package did not build on Debian $release (log: $dist/build-failed.log)" >&2; exit 1; }
  deb=$(ls -t "$dist"/quorvel_*+deb"$release"_*.deb | head -n 1)
fi
echo "package-check: built $deb in $(($(date +%s) - start)) s"
QUORVEL_ROOT_BARE=1 QUORVEL_ROOT_SHARE="$dist" scripts/fresh-root.sh "$release" \
  scripts/package-check.sh --inside "/root/share/$(basename "$deb")" "$recommends"
echo "package-check: Debian $release passed in $(($(date +%s) - start)) s"
