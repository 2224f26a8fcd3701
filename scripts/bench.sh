#!/usr/bin/env bash
# The figures compared between Debian releases, measured the same way on each: the engine against
# STK's plucked string in one run (ns and instructions per string-sample), the camera pipeline on
# both runtimes (CPU per tracked image) and the motion-to-sound latency on PulseAudio and JACK at
# 128 frames.
# Installs the test packages and builds what it runs in build/default (Debian's python3: the
# measures need its numpy and OpenCV).
#
#   scripts/bench.sh                                   on this machine
#   sudo scripts/fresh-root.sh 13 scripts/bench.sh     on another release, in a fresh root
#
# The machine's load is printed before each part: figures taken beside other builds are slower.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test >/dev/null
. /etc/os-release
echo "== Debian ${VERSION_ID:-?}: $(g++ --version | head -n 1), $(nproc) cores"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel audio_bench camera_bench \
  latency_jack_listen jack_test_server >/dev/null

echo "== engine (load: $(cut -d' ' -f1-3 /proc/loadavg))"
build/default/bench/audio_bench --benchmark_filter='BM_HarpPass/30$|BM_StkPlucked/30$' \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out=build/default/engine.json --benchmark_out_format=json >/dev/null 2>&1
# Medians of the per-string-sample time, ours over STK's in the same run.
/usr/bin/python3 - build/default/engine.json <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
ns = {r["run_name"].split("/")[0]: r["per_string_sample"] * 1e9
      for r in runs if r.get("aggregate_name") == "median"}
ours, stk = ns["BM_HarpPass"], ns["BM_StkPlucked"]
print(f"engine: {ours:.3f} ns per string-sample (30 strings), STK {stk:.3f}: {ours / stk:.2f} of STK")
PY
# The same work counted in instructions by callgrind: the same count whatever else runs.
for engine in harp concert stk; do
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="build/default/$engine.callgrind" \
    build/default/bench/audio_bench --instructions "$engine" >"build/default/$engine.samples" 2>/dev/null
done
/usr/bin/python3 - build/default <<'PY'
import re, sys
def per_sample(engine):
    samples = int(open(f"{sys.argv[1]}/{engine}.samples").read().split()[0])
    text = open(f"{sys.argv[1]}/{engine}.callgrind").read()
    return int(re.search(r"^(?:summary|totals): (\d+)", text, re.M).group(1)) / samples
ours, stk = per_sample("harp"), per_sample("stk")
print(f"engine: {ours:.2f} instructions per string-sample, STK {stk:.2f}: {ours / stk:.2f} of STK")
concert = per_sample("concert")
print(f"engine: concert voice {concert:.2f} instructions per string-sample: {concert / ours:.2f} of the classic")
PY

echo "== camera (load: $(cut -d' ' -f1-3 /proc/loadavg))"
bench/camera.sh 2>&1 | grep -E '^==|per tracked image|^frames'

echo "== latency (load: $(cut -d' ' -f1-3 /proc/loadavg))"
# The JACK server the MIDI tests start is the one the latency measure starts too.
QUORVEL_JACK_TEST_SERVER="$PWD/build/default/tests/jack_test_server" /usr/bin/python3 bench/latency/measure.py | grep -E 'plucks heard|^== |load average'
