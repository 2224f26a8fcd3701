#!/usr/bin/env bash
# Builds the harp as a web page into dist/web/ (static files any web server can host), from the
# same C++ as the desktop program, with Debian's Emscripten.
#
#   scripts/web.sh         build the page
#   scripts/web.sh serve   build it, then serve it on this machine and print the address
#
# The page needs no special headers: no threads, no shared memory.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v emcc >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y emscripten
fi

out=dist/web
work=build/web
mkdir -p "$out" "$work/include"
# Debian's Node.js finds Debian's acorn for emcc; another Node.js needs it named.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# The JSON reader from the system's headers, without the rest of /usr/include.
ln -sfn /usr/include/nlohmann "$work/include/nlohmann"

# Built again only when a source is newer than what was built.
stale() {
  [ ! -e "$1" ] || [ -n "$(find src app tracking web/*.cpp scripts/web.sh -newer "$1" -print -quit)" ]
}

flags=(-std=c++17 -O2 -I. -I"$work/include" -DNDEBUG)
# Each source is compiled on its own, on every processor, by the compiler under em++ with the
# flags em++ would give it (emcc's own start-up costs a second a file), through ccache when
# there is one, as scripts/test.sh sets it up: a new clone compiles only what changed.
clang=$(em-config LLVM_ROOT)/clang++
launcher=()
if command -v ccache >/dev/null; then
  launcher=(ccache)
  export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=true
fi
# compile DIR FLAGS... -- SOURCES...: compiles each source into DIR/NAME.o, NAME its path with
# slashes as underscores; the objects' names are left in `built`.
compile() {
  local dir=$1 options=() source
  shift
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  mkdir -p "$dir"
  built=()
  for source in "$@"; do built+=("$dir/${source//\//_}.o"); done
  read -ra options <<<"$(em++ --cflags "${options[@]}")"
  printf '%s\n' "$@" | xargs -P "$(nproc)" -I{} sh -c \
    'source=$1; object=$2/$(echo "$1" | tr / _).o; shift 2; exec "$@" -c "$source" -o "$object"' \
    compile {} "$dir" "${launcher[@]}" "$clang" "${options[@]}"
}

# A library's sources as CMakeLists.txt lists them, so that the page follows the desktop's build.
sources_of() {
  awk -v start="add_library($1 STATIC" 'index($0, start) == 1 { on = 1; next }
    on && /^\)/ { exit } on && NF { print $1 }' CMakeLists.txt
}

# Each module's stack, said outright: 5 MB is 3.1.6's default, and later releases give 64 KB,
# less than the render pass's block buffers take.
stack=(-sTOTAL_STACK=5MB)

# The engine for the audio worklet: the server, the strings and the harp, no JavaScript glue.
mapfile -t engine < <(sources_of quorvel_audio_graph)
engine+=(app/instrument/Harp.cpp app/instrument/HarpVoices.cpp web/worklet_engine.cpp)
if stale "$work/engine.wasm"; then
  compile "$work/engine" "${flags[@]}" -- "${engine[@]}"
  em++ "${flags[@]}" "${built[@]}" -o "$work/engine.wasm" --no-entry -sSTANDALONE_WASM "${stack[@]}" \
    -sINITIAL_MEMORY=64MB -sALLOW_MEMORY_GROWTH=0 -sFILESYSTEM=0 \
    -sEXPORTED_FUNCTIONS=_quorvel_start,_quorvel_burst,_quorvel_pluck,_quorvel_dropped,_quorvel_strings,_quorvel_voice,_quorvel_render,_quorvel_waveforms,_quorvel_waveform_counts,_quorvel_heap_used
fi

# The instrument for the page's main thread: keys, fingertips, pluck detection, scales, key,
# tunings, touch, the recording reader and the demo.
# The harp itself is the worklet's: here PageHarp stands for it.
mapfile -t instrument < <(sources_of quorvel_instrument | grep -vx app/instrument/Harp.cpp)
instrument+=(app/window/Keys.cpp app/window/Scene.cpp
  tracking/Leap.cpp tracking/FrameParser.cpp tracking/DemoSource.cpp tracking/StopSignal.cpp
  tracking/recording/RecordingReader.cpp tracking/recording/RecordingLoop.cpp
  tracking/camera/CameraView.cpp app/midi/NoteRules.cpp
  app/window/CameraPicture.cpp tracking/camera/HandSpace.cpp
  web/PageHarp.cpp web/page_main.cpp web/page_midi.cpp web/page_camera.cpp)
if stale "$work/instrument.wasm"; then
  compile "$work/instrument" "${flags[@]}" -I/usr/include/opencv4 -fexceptions -- "${instrument[@]}"
  em++ "${flags[@]}" -fexceptions "${built[@]}" -o "$work/instrument.js" "${stack[@]}" \
    -sMODULARIZE -sEXPORT_ES6 -sEXPORT_NAME=createInstrument -sENVIRONMENT=web \
    -sALLOW_MEMORY_GROWTH=1 -sFORCE_FILESYSTEM \
    -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString,stringToUTF8,HEAPF32,HEAPF64 \
    -sEXPORTED_FUNCTIONS=_malloc,_free,_quorvel_start,_quorvel_key,_quorvel_message,_quorvel_frame,_quorvel_demo,_quorvel_open,_quorvel_replay,_quorvel_replay_clock,_quorvel_scene,_quorvel_banner,_quorvel_frame_rate,_quorvel_midi,_quorvel_midi_tick,_quorvel_camera_sentence,_quorvel_show_camera,_quorvel_camera_frame,_quorvel_camera_corner,_quorvel_hand_style
fi

# The hand tracker for the page's worker (page/hands.js): tracking/camera's pipeline as the
# desktop builds it, with the few OpenCV functions it calls (tracker_opencv.cpp; Debian has
# OpenCV's headers but no build of it for the browser) and Asyncify, so that its C++ can wait
# for onnxruntime-web's answers. No C++ exceptions: a failing model ends the worker, which says so.
tracker=(tracking/camera/{CameraTracker,CameraStatus,HandTracker,PalmDetector,LandmarkModel,HandCrop,HandSpace,OneEuroFilter,LightMeter}.cpp
  tracking/Leap.cpp web/tracker_main.cpp web/tracker_opencv.cpp)
if stale "$work/tracker.wasm"; then
  compile "$work/tracker" "${flags[@]}" -I/usr/include/opencv4 -- "${tracker[@]}"
  em++ "${flags[@]}" "${built[@]}" -o "$work/tracker.js" "${stack[@]}" \
    -sMODULARIZE -sEXPORT_ES6 -sEXPORT_NAME=createTracker -sENVIRONMENT=worker \
    -sALLOW_MEMORY_GROWTH=1 -sASYNCIFY -sFILESYSTEM=0 -sEXPORTED_RUNTIME_METHODS=ccall,HEAPF64 \
    -sEXPORTED_FUNCTIONS=_quorvel_hands_start,_quorvel_hands_image,_quorvel_hands_track
fi

cp "$work/engine.wasm" "$work/instrument.js" "$work/instrument.wasm" "$work/tracker.js" "$work/tracker.wasm" "$out/"
cp web/page/* "$out/"
mkdir -p "$out/examples"
cp examples/*.jsonl "$out/examples/"
# The hand models' runtime (onnxruntime-web, pinned in web/runtime/package-lock.json: its CPU
# build, one thread) and the models, served with the page and never fetched from elsewhere.
[ -d web/runtime/node_modules/onnxruntime-web ] ||
  (cd web/runtime && npm ci --no-audit --no-fund --loglevel=error)
mkdir -p "$out/ort" "$out/models"
cp web/runtime/node_modules/onnxruntime-web/dist/{ort.wasm.min.mjs,ort-wasm-simd-threaded.mjs,ort-wasm-simd-threaded.wasm} "$out/ort/"
models=${QUORVEL_MODEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/models}
if [ -f "$models/onnxruntime/hand_landmark_lite.onnx" ]; then
  cp "$models"/onnxruntime/{palm_detection_lite,hand_landmark_lite}.onnx "$models"/{LICENSE,NOTICE} "$out/models/"
else
  echo "web.sh: no hand models in $models (scripts/models.sh makes them); the page has none"
fi
# Their sizes, for the camera's progress line whatever lengths the server sends (page/hands.js).
(cd "$out" && find ort models -name '*.wasm' -o -name '*.onnx' | xargs -r stat -c '%n %s') \
  >"$out/downloads.txt"
echo "web.sh: the page is in $out"

if [ "${1:-}" = serve ]; then
  port=${QUORVEL_WEB_PORT:-8032}
  echo "web.sh: playing at http://127.0.0.1:$port/ (Ctrl-C stops the server)"
  exec python3 -m http.server --bind 127.0.0.1 --directory "$out" "$port"
fi
