// The hand tracker's worker: the desktop's pipeline in C++ (tracker.js, tracker_main.cpp) with
// the hand models in onnxruntime-web, off the page's thread so that the picture and the sound
// never wait for it. The page posts one image at a time, only when the last is answered.
//   in:  { kind: 'start' }, { kind: 'image', bitmap, micros, recalibrate }
//   out: { kind: 'progress', loaded, total } (total 0: unknown), { kind: 'ready' },
//        { kind: 'failed', why },
//        { kind: 'tracked', values, ms, micros } (values: tracker_main.cpp's quorvel_hands_track)
import * as ort from './ort/ort.wasm.min.mjs';
import createTracker from './tracker.js';

// What the first visit downloads; the browser's cache keeps it for the next.
const kFiles = ['ort/ort-wasm-simd-threaded.wasm', 'models/palm_detection_lite.onnx',
                'models/hand_landmark_lite.onnx'];
const kOutputs = ['Identity', 'Identity_1'];

let tracker = null;
let canvas = null;
let context = null;
const sessions = {};

// The files' sizes as built (downloads.txt, "FILE BYTES" lines): a server may send no length,
// or the compressed one.
async function sizesOf(files) {
  const sizes = new Map();
  try {
    const response = await fetch(new URL('downloads.txt', import.meta.url), { cache: 'no-cache' });
    if (response.ok)
      for (const line of (await response.text()).split('\n')) {
        const [file, bytes] = line.split(' ');
        if (files.includes(file) && Number(bytes) > 0) sizes.set(file, Number(bytes));
      }
  } catch {
    // Then the lengths the server gives, if it gives them.
  }
  return sizes;
}

async function download(files) {
  const sizes = await sizesOf(files);
  const responses = await Promise.all(files.map((file) => fetch(new URL(file, import.meta.url))));
  for (const [i, response] of responses.entries())
    if (!response.ok) throw new Error(`${files[i]}: ${response.status}`);
  const lengths = responses.map(({ headers }, i) => sizes.get(files[i]) ||
      (headers.get('content-encoding') ? 0 : Number(headers.get('content-length'))));
  const total = lengths.every((length) => length > 0) ? lengths.reduce((a, b) => a + b, 0) : 0;
  let loaded = 0;
  return Promise.all(responses.map(async (response) => {
    const reader = response.body.getReader();
    const chunks = [];
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      loaded += value.length;
      postMessage({ kind: 'progress', loaded, total });
    }
    const bytes = new Uint8Array(chunks.reduce((sum, chunk) => sum + chunk.length, 0));
    let at = 0;
    for (const chunk of chunks) { bytes.set(chunk, at); at += chunk.length; }
    return bytes;
  }));
}

async function start() {
  const [runtime, palms, landmarks] = await download(kFiles);
  ort.env.wasm.numThreads = 1; // the page has no cross-origin isolation, so no threads
  ort.env.wasm.wasmPaths = new URL('ort/', import.meta.url).href;
  ort.env.wasm.wasmBinary = runtime;
  for (const [name, bytes] of [['palm_detection_lite', palms], ['hand_landmark_lite', landmarks]])
    sessions[name] = await ort.InferenceSession.create(bytes, { executionProviders: ['wasm'] });
  tracker = await createTracker();
  // The tracker's C++ awaits this for every model pass (quorvel_run_model).
  tracker.runModel = async (name, input) => {
    const session = sessions[name];
    const side = Math.round(Math.sqrt(input.length / 3));
    try {
      const results = await session.run(
          { [session.inputNames[0]]: new ort.Tensor('float32', input, [1, 3, side, side]) },
          kOutputs);
      tracker.outputs = kOutputs.map((output) => results[output].data);
      return 1;
    } catch (error) {
      console.error(`hand model ${name}: ${error.message}`);
      return 0;
    }
  };
  // The first pass of each model is many times slower than the next: run it now, so that the
  // first image of the camera is tracked in time to calibrate on it.
  for (const [name, side] of [['palm_detection_lite', 192], ['hand_landmark_lite', 224]])
    await tracker.runModel(name, new Float32Array(3 * side * side));
  tracker._quorvel_hands_start();
  // And the whole pipeline once, on a blank image: no hand, so it leaves nothing behind.
  const bitmap = await createImageBitmap(new ImageData(640, 480));
  await track({ bitmap, micros: 0, recalibrate: false }, false);
}

async function track({ bitmap, micros, recalibrate }, answer = true) {
  const before = performance.now();
  const { width, height } = bitmap;
  if (!canvas || canvas.width !== width || canvas.height !== height) {
    canvas = new OffscreenCanvas(width, height);
    context = canvas.getContext('2d', { willReadFrequently: true });
  }
  context.drawImage(bitmap, 0, 0);
  bitmap.close();
  const pixels = context.getImageData(0, 0, width, height).data;
  const at = tracker._quorvel_hands_image(width, height);
  new Uint8Array(tracker.HEAPF64.buffer, at, pixels.length).set(pixels);
  const out = await tracker.ccall('quorvel_hands_track', 'number',
                                  ['number', 'number', 'number', 'number', 'number'],
                                  [at, width, height, micros, recalibrate ? 1 : 0],
                                  { async: true });
  const ms = performance.now() - before;
  const tips = tracker.HEAPF64[(out >> 3) + 2], hands = tracker.HEAPF64[(out >> 3) + 3];
  const values = tracker.HEAPF64.slice(out >> 3, (out >> 3) + 5 + 5 * tips + 42 * hands);
  if (answer) postMessage({ kind: 'tracked', values, ms, micros }, [values.buffer]);
}

let failed = false;
onmessage = async ({ data }) => {
  if (failed) return;
  try {
    if (data.kind === 'start') {
      await start();
      postMessage({ kind: 'ready' });
    } else if (data.kind === 'image') {
      await track(data);
    }
  } catch (error) {
    failed = true;
    postMessage({ kind: 'failed', why: String(error && error.message || error),
                  starting: data.kind === 'start' });
  }
};
