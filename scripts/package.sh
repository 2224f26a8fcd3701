#!/usr/bin/env bash
# Builds the Debian package of Quorvel for the Debian release this machine runs, with debhelper
# (debian/), checks it with lintian and desktop-file-validate, and writes it to dist/; its path is
# the last line printed. Installs what it needs first (never removing anything). Builds the working
# tree as it is, in build/package, with ccache when the machine has it.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

. /etc/os-release
release="${VERSION_ID:-}"
[ -n "$release" ] || { echo "package.sh: cannot tell which Debian release this is" >&2; exit 1; }
version=$(sed -nE 's/^project\(Quorvel VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no project version in CMakeLists.txt" >&2; exit 1; }
# One package a release, the newer release's sorting after the older's (Ubuntu 24.04's after
# Debian's, untried).
distribution=deb system=Debian
[ "${ID:-}" = ubuntu ] && distribution=ubuntu system=Ubuntu
package_version="$version+$distribution$release"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
apt_install() {
  "${sudo_cmd[@]}" apt-get "$@" -y -q --no-install-recommends --no-remove -o DPkg::Lock::Timeout=600
}
updated=
tools=(dpkg-dev debhelper lintian desktop-file-utils git)
missing_tools=()
for tool in "${tools[@]}"; do
  dpkg-query -W -f='${Status}\n' "$tool" 2>/dev/null | grep -q '^install ok installed' ||
    missing_tools+=("$tool")
done
if [ ${#missing_tools[@]} -gt 0 ]; then
  echo "Installing: ${missing_tools[*]}"
  "${sudo_cmd[@]}" apt-get update -q && updated=1
  apt_install install "${missing_tools[@]}"
fi

# The sources as they are in the working tree (tracked and new files, not what git ignores).
work="$root/build/package"
src="$work/quorvel"
rm -rf "$src" "$work"/quorvel_* "$work"/quorvel-dbgsym_*
mkdir -p "$src"
# A tracked file deleted from the tree is left out, and said.
present() {
  while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; else
      echo "package.sh: $file is deleted in the working tree; packaged without it" >&2
    fi
  done
}
git ls-files -z --cached --others --exclude-standard | present | xargs -0 cp --parents -t "$src"
cat >"$src/debian/changelog" <<CHANGES
quorvel ($package_version) ${VERSION_CODENAME:-unstable}; urgency=medium

  * Quorvel $version for $system $release.

 -- Quorvel maintainers <maintainers@users.noreply.c-seed-2dbe8265.example>  $(date -R)
CHANGES

# Debian 12 and Ubuntu 24.04 have no ONNX Runtime: there the camera loads the one its set-up
# fetches.
profiles=()
case "$release" in 12 | 24.04) profiles=(-P pkg.quorvel.no-onnxruntime) ;; esac
export DEB_BUILD_PROFILES="${profiles[*]:1}"

# The build needs named in debian/control (the release's own package names come from apt).
if ! (cd "$src" && dpkg-checkbuilddeps >/dev/null 2>&1); then
  echo "Installing the build needs of debian/control"
  [ -n "$updated" ] || "${sudo_cmd[@]}" apt-get update -q
  apt_install build-dep "${profiles[@]}" "$src"
fi

if command -v ccache >/dev/null; then
  # debhelper gives the build a HOME of its own: name the cache directly.
  CCACHE_DIR=$(ccache -k cache_dir)
  export CCACHE_DIR CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
(cd "$src" && dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; echo "package.sh: the build failed (all of it in $work/build.log)" >&2; exit 1; }

deb="$work/quorvel_${package_version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
desktop-file-validate "$src/debian/quorvel/usr/share/applications/quorvel.desktop"
# Errors fail the package; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" >&2 ||
  { echo "package.sh: lintian found errors in $deb" >&2; exit 1; }
mkdir -p dist
rm -f dist/quorvel_*+"$distribution$release"_*.deb
cp "$deb" dist/
echo "$root/dist/$(basename "$deb")"
