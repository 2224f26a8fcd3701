#!/usr/bin/env bash
# Runs a command in a fresh clone of this checkout, inside a fresh root of a named Debian release
# as a new machine of that release comes: the minimal base plus g++, cmake, make, git and sudo.
#
#   scripts/fresh-root.sh RELEASE COMMAND [ARG...]     RELEASE: 12, 13, bookworm or trixie
#
# QUORVEL_ROOT_BARE=1 starts from the minimal base alone (no compiler, cmake, git or sudo), as a
# player's machine may be. QUORVEL_ROOT_SHARE=DIR lends the host's DIR to the run as /root/share,
# to bring files in (a package to install) and take results out.
#
# The base is made once with debootstrap and kept under $QUORVEL_ROOTS (default
# /var/cache/quorvel/roots). Each run lays a throwaway layer over it, so nothing a run installs is
# there for the next; only downloaded .deb files, the test builds' compile cache and, but in a bare
# root, the tests' own cache (hand models, photos, videos) are kept. The clone is of the checkout's
# HEAD (commit what you want tried). The command runs as root in
# /root/quorvel, in mount and process namespaces of its own: every process it leaves is ended and
# every mount goes with the namespace, whatever way the run ends. /dev/shm and /tmp are the root's own.
#
# QUORVEL_ROOT_PACKAGES=PROFILE (test or play) has scripts/deps.sh PROFILE's packages installed in
# a layer kept beside the base and keyed by all that decides what it installs: deps.sh, the
# profile and the archive's state after apt-get update. A run whose key matches starts with them
# installed, exactly as that install left them; any change to the three installs afresh.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() { echo "usage: scripts/fresh-root.sh 12|13|bookworm|trixie COMMAND [ARG...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
case "$1" in
  12 | bookworm) codename=bookworm ;;
  13 | trixie) codename=trixie ;;
  *) echo "fresh-root.sh: no Debian release \"$1\" here (12 or 13)" >&2; exit 2 ;;
esac
shift
[ "$(id -u)" -eq 0 ] || { echo "fresh-root.sh: needs root (debootstrap, mounts, chroot)" >&2; exit 2; }
command -v apt-get >/dev/null || { echo "fresh-root.sh: needs a Debian machine (no apt-get)" >&2; exit 2; }

roots="${QUORVEL_ROOTS:-/var/cache/quorvel/roots}"
tools=ca-certificates,g++,cmake,make,git,sudo
base="$roots/$codename"
if [ -n "${QUORVEL_ROOT_BARE:-}" ]; then
  tools=ca-certificates
  base="$roots/$codename-bare"
fi
share="${QUORVEL_ROOT_SHARE:-}"
[ -z "$share" ] || share=$(cd "$share" 2>/dev/null && pwd) ||
  { echo "fresh-root.sh: no folder $QUORVEL_ROOT_SHARE to share" >&2; exit 2; }
debs="$roots/$codename-debs"
layers="$roots/$codename-installed"
packages="${QUORVEL_ROOT_PACKAGES:-}"
case "$packages" in
  "" | play | test) ;;
  *) echo "fresh-root.sh: QUORVEL_ROOT_PACKAGES is play or test, not \"$packages\"" >&2; exit 2 ;;
esac
[ -z "${QUORVEL_ROOT_BARE:-}" ] || packages=
# The test command's compile cache outlives the run as the .debs do: it holds only objects keyed
# by their sources and flags, so a missing package still fails the build.
objects="$roots/$codename-ccache"
# What the tests set up in ~/.cache/quorvel: the hand models, the hand photos' package and the
# camera videos. Each checks its own key or sums and is made again when stale, as on any machine;
# a bare root is a player's first machine and starts without it.
home_cache=
[ -n "${QUORVEL_ROOT_BARE:-}" ] || home_cache="$roots/$codename-cache"
mkdir -p "$roots" "$debs" "$objects" ${home_cache:+"$home_cache"}

# The mirrors this machine's apt already uses: the archive's and the security archive's.
mirror_of() { # PATTERN: the first URI of a sources entry whose suites match PATTERN
  local files=(/etc/apt/sources.list.d/*.sources)
  awk -v pat="$1" '
    /^URIs:/ { uri = $2 } /^Suites:/ { if ($0 ~ pat && uri != "") { print uri; exit } }
    /^$/ { uri = "" }' "${files[@]}" 2>/dev/null | head -n 1
  grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v pat="$1" '$3 ~ pat { print $2; exit }'
}
mirror=$(mirror_of '(bookworm|trixie|forky|sid|stable)( |-updates|$)' | grep -m1 '/debian/*$' || true)
security=$(mirror_of -security | head -n 1 || true)
[ -n "$mirror" ] || { echo "fresh-root.sh: found no Debian archive in this machine's apt sources" >&2; exit 1; }

make_base() {
  command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    --no-install-recommends --no-remove debootstrap >/dev/null
  local new="$base.new"
  rm -rf "$new"
  local log="$base-debootstrap.log"
  echo "fresh-root.sh: making a $codename base in $base (once)"
  debootstrap --variant=minbase --include="$tools" \
    --cache-dir="$debs" "$codename" "$new" "$mirror" >"$log" 2>&1 ||
    { echo "fresh-root.sh: debootstrap failed (see $log)" >&2; exit 1; }
  rm -f "$new"/etc/apt/sources.list
  {
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\n' "$mirror" "$codename" "$codename"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    if [ -n "$security" ]; then
      printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\n' "$security" "$codename"
      printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    fi
  } >"$new/etc/apt/sources.list.d/debian.sources"
  # Downloads go to the shared cache, so keep apt from deleting them after each install.
  echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' >"$new/etc/apt/apt.conf.d/10keep-debs"
  mv "$new" "$base"
}

exec 9>"$base.lock"
flock 9
[ -d "$base" ] || make_base
flock -u 9

run=$(mktemp -d "$roots/run-$codename.XXXXXX")
# Each run downloads into a folder of its own, holding links to the kept .deb files: apt locks its
# download folder for a whole install and fails at once when it is taken, so runs side by side
# sharing one folder failed. What a run fetched is kept for the next when it ends.
trap 'find "$run/debs" -maxdepth 1 -name "*.deb" -links 1 -exec mv -n -t "$debs" {} + 2>/dev/null || true
  rm -rf "$run"' EXIT
mkdir -p "$run/upper" "$run/work" "$run/merged" "$run/debs"
find "$debs" -maxdepth 1 -name '*.deb' -exec ln -t "$run/debs" {} +
git clone --quiet --no-hardlinks "$here" "$run/upper/root/quorvel"
git -C "$run/upper/root/quorvel" remote remove origin

# Everything below happens in the namespaces: when the command ends, so does all it started.
unshare --mount --pid --fork --propagation private -- \
  bash -s -- "$base" "$run" "$run/debs" "$objects" "$share" "$home_cache" "$layers" "$packages" \
  "$@" <<'INSIDE'
set -euo pipefail
base=$1 run=$2 debs=$3 objects=$4 share=$5 home_cache=$6 layers=$7 packages=$8
shift 8
m="$run/merged"

# furnish: what any command in the root needs, on the overlay mounted at $m.
furnish() {
  cp /etc/resolv.conf "$m/etc/resolv.conf"
  # The root is thrown away after the run: dpkg's flush of every file it unpacks buys nothing here.
  echo force-unsafe-io >"$m/etc/dpkg/dpkg.cfg.d/quorvel-throwaway"
  # The machine's own trust holds inside too: a network that inspects HTTPS (as some do) has a
  # certificate authority of its own, and npm fails without it.
  if [ -d /usr/local/share/ca-certificates ] && [ -f /etc/ssl/certs/ca-certificates.crt ]; then
    cp -a /usr/local/share/ca-certificates/. "$m/usr/local/share/ca-certificates/"
    cp /etc/ssl/certs/ca-certificates.crt "$m/etc/ssl/certs/ca-certificates.crt"
  fi
  mount -t proc proc "$m/proc"
  mount --rbind /sys "$m/sys"
  mount --rbind /dev "$m/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$m/dev/shm"
  mount -t tmpfs -o mode=1777 tmpfs "$m/tmp"
  mount --bind "$debs" "$m/var/cache/apt/archives"
}

lower=$base
if [ -n "$packages" ]; then
  # The install is made in an overlay of its own, which becomes the layer when it is new. One run
  # at a time makes or checks a layer; each run holds its layer's lock shared while it uses it.
  exec 8>"$layers.lock"
  flock 8
  mkdir -p "$run/install/upper" "$run/install/work"
  mount -t overlay overlay \
    -o "lowerdir=$base,upperdir=$run/install/upper,workdir=$run/install/work" "$m"
  furnish
  chroot "$m" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin apt-get update -q >/dev/null
  key=$(cat "$m"/var/lib/apt/lists/*InRelease "$run/upper/root/quorvel/scripts/deps.sh" |
    { sha256sum; echo "$packages"; } | sha256sum | cut -c1-16)
  layer="$layers-$key"
  if [ ! -d "$layer" ]; then
    cp "$run/upper/root/quorvel/scripts/deps.sh" "$m/tmp/deps.sh"
    # No service starts while the layer is made: nothing may run on in it once it is kept.
    printf '#!/bin/sh\nexit 101\n' >"$m/usr/sbin/policy-rc.d"
    chmod +x "$m/usr/sbin/policy-rc.d"
    chroot "$m" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash /tmp/deps.sh "$packages"
    rm -f "$m/usr/sbin/policy-rc.d"
    umount -R -l "$m"
    sync -f "$run/install/upper" # dpkg flushed nothing, and the layer outlives the run
    mv "$run/install/upper" "$layer"
    # Older layers go, but not one another run still uses.
    for old in "$layers"-*; do
      [ "$old" = "$layer" ] || [ ! -d "$old" ] ||
        flock -n -x "$old.lock" rm -rf "$old" "$old.lock" || true
    done
  else
    umount -R -l "$m"
  fi
  exec 7>"$layer.lock"
  flock -s 7
  flock -u 8
  lower="$layer:$base"
fi
mount -t overlay overlay -o "lowerdir=$lower,upperdir=$run/upper,workdir=$run/work" "$m"
furnish
mkdir -p "$m/root/.cache/quorvel"
[ -z "$home_cache" ] || mount --bind "$home_cache" "$m/root/.cache/quorvel"
mkdir -p "$m/root/.cache/quorvel/ccache"
mount --bind "$objects" "$m/root/.cache/quorvel/ccache"
if [ -n "$share" ]; then
  mkdir -p "$m/root/share"
  mount --bind "$share" "$m/root/share"
fi
exec chroot "$m" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 CI="${CI:-}" \
  NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c 'cd /root/quorvel && exec "$@"' bash "$@"
INSIDE
