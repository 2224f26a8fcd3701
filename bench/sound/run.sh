#!/usr/bin/env bash
# The strings' sound against a sampled concert harp (bench/sound/measure.py): installs the
# sampled harp (fluidsynth, fluid-soundfont-gm) and the plotting library, builds the renderer
# and prints the table. Never part of the test run.
#
#   bench/sound/run.sh                  the table
#   bench/sound/run.sh --png FILE.png   and the decay against pitch
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
for package in fluidsynth fluid-soundfont-gm python3-numpy python3-matplotlib; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${need[@]}"
fi
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel-render >/dev/null
/usr/bin/python3 bench/sound/measure.py --render build/default/quorvel-render "$@"
