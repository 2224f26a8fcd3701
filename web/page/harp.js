// The page: starts the instrument (instrument.js, the C++ on this thread) and, on the first key,
// click or touch, the sound (worklet.js, the engine in the audio thread); feeds the instrument
// the fingertips of the pointer, the demo or a recording; draws the scene (scene.js).

import createInstrument from './instrument.js';
import { Camera } from './camera.js';
import { Midi } from './midi.js';
import { Scene } from './scene.js';

const params = new URLSearchParams(location.search);
// A recording is read this far ahead of the sound, so that each pluck is scheduled on time. A
// main thread stalled for longer makes the plucks it held late, so a stall widens the lead (up to
// the most) for what follows, and the lead narrows again at a quarter of the time's pace.
const kLookaheadSeconds = 0.1;
const kMostLookaheadSeconds = 0.5;
const kDemoFrameSeconds = 0.01;
// The pointer's depth in tracker millimetres: pressed is past the string plane.
const kPressedMm = -10;
const kHoveringMm = 100;
const kMaxPointers = 16;
// The tracker's playing area, millimetres (tracking/PlayingArea.h).
const kLeftMm = -200, kWidthMm = 400, kBottomMm = 150, kHeightMm = 200;
const kWindowRequest = { enterFullScreen: 1, leaveFullScreen: 2 };

const banner = document.getElementById('line');
const notice = document.getElementById('notice');
const soundLine = document.getElementById('sound');
const canvas = document.getElementById('harp');

// What the tests and the curious read: every pluck sent, the sound's state, the tap's blocks.
// Each pluck: { string, pitch, velocity, at (due, on the sound's clock; 0: at once), time (sent),
// recorded (the recording's clock of its frame), played (when it sounds) }.
const shared = { plucks: [], dropped: 0, blocks: 0, skipped: 0, blockFrames: 0, latePlucks: 0,
                 rate: 0, outputLatency: 0, baseLatency: 0, firstSoundMs: -1, tapped: [], drawn: 0,
                 replaying: false, messages: [], engineWritten: 0 };
window.quorvel = shared;

// The engine's bytes are fetched at once, so that the first key waits only for the worklet.
const engineBytes = fetch('engine.wasm').then((response) => response.arrayBuffer());
const instrument = await createInstrument();
let context = null;
let node = null;
let waiting = [];    // messages for the worklet before it exists
let replay = null;   // { start: seconds on clock(), lookahead, ticked: performance.now() }
let demo = null;     // { start, next }
let gestureAt = -1;  // performance.now() of the gesture that started the sound
let waveforms = [];
let tapSession = 0;  // the tests' ear: its latest turn, which the blocks kept belong to
// What is drawn: a copy, since the arrays below go back to the worklet before the next frame.
const shownPairs = new Float32Array(30 * 256);
// A frame that comes before the next audio block finds no new pairs: it shows each string's last
// ones again (the worklet keeps them in place), and the string at rest once none came for longer
// than any gap between blocks while sound runs, as the desktop's window does.
const kHoldMs = 250;
const shownCounts = new Int32Array(30), freshAt = new Float64Array(30);
// The arrays the worklet fills with the waveforms, lent to it and returned with them.
let spare = { pairs: new Float32Array(30 * 256), counts: new Int32Array(30) };

function post(message, transfer) {
  if (node) node.port.postMessage(message, transfer || []);
  else if (message.kind !== 'pluck' || waiting.length < 64) waiting.push(message);
}

function clock() {
  return context ? context.currentTime : performance.now() / 1000;
}

instrument.strings = (count) => post({ kind: 'strings', count });
instrument.voice = (voice) => post({ kind: 'voice', voice });
instrument.pluck = (string, pitch, velocity, burst) => {
  const recorded = replay ? instrument._quorvel_replay_clock() / 1e6 : 0;
  const at = replay ? replay.start + recorded : 0;
  const id = shared.plucks.length;
  shared.plucks.push({ string, pitch, velocity, at, time: clock(), recorded, played: -1 });
  midi.pluckIn(at ? at - clock() : 0);
  post({ kind: 'pluck', id, string, pitch, velocity, burst, at }, [burst.buffer]);
};
instrument._quorvel_start();
const midi = new Midi(instrument, say, document.getElementById('midi'),
                      document.getElementById('midi-port'));
const camera = new Camera(instrument, say, document.getElementById('camera-button'),
                          document.getElementById('picture'));
shared.camera = camera;
camera.paused = () => demo || replay;

function showMessages() {
  const text = instrument.UTF8ToString(instrument._quorvel_message());
  if (!text) return;
  for (const line of text.trim().split('\n')) {
    shared.messages.push(line);
    console.info('quorvel: ' + line);
  }
  notice.textContent = text.trim().split('\n').slice(-4).join('\n');
}

function say(line) {
  shared.messages.push(line);
  console.info('quorvel: ' + line);
  notice.textContent = (notice.textContent + '\n' + line).trim().split('\n').slice(-4).join('\n');
}

function receive(message) {
  switch (message.kind) {
    case 'waveforms':
      shownPairs.set(message.pairs);
      waveforms = [];
      for (let s = 0, now = performance.now(); s < message.counts.length; ++s) {
        if (message.counts[s] > 0) shownCounts[s] = message.counts[s], freshAt[s] = now;
        else if (now - freshAt[s] > kHoldMs) shownCounts[s] = 0;
        waveforms.push(shownPairs.subarray(s * 256, s * 256 + shownCounts[s]));
      }
      spare = { pairs: message.pairs, counts: message.counts };
      shared.dropped = message.dropped;
      shared.blocks = message.blocks;
      shared.skipped = message.skipped;
      shared.engineWritten = message.written;
      shared.blockFrames = message.blockFrames;
      break;
    case 'played': {
      const pluck = shared.plucks[message.id];
      if (!pluck) break;
      pluck.played = message.at;
      // Late by more than a block: a stall held it past its time.
      if (pluck.at > 0 && message.at - pluck.at > 0.005) ++shared.latePlucks;
      break;
    }
    case 'sounding':
      if (shared.firstSoundMs < 0 && gestureAt >= 0)
        shared.firstSoundMs = performance.now() - gestureAt;
      break;
    case 'block':
      // A block played before the tap's latest turn (posted before the worklet had it, and
      // late here) belongs to no measurement.
      if (message.session === tapSession) shared.tapped.push(message.samples);
      break;
    case 'bench':
      shared.benchMs = message.ms;
      shared.heapBytes = message.heapBytes;
      shared.memoryBytes = message.memoryBytes;
      break;
  }
}

// The browser's count of output underruns, where it keeps one (Chromium's playbackStats).
function underruns() {
  return context && context.playbackStats ? context.playbackStats.underrunEvents : '?';
}
shared.underruns = underruns;

let starting = null;
function startSound() {
  if (starting) return starting;
  gestureAt = performance.now();
  document.getElementById('start').classList.add('hidden');
  const rate = Number(params.get('rate')) || undefined;
  starting = (async () => {
    context = new AudioContext({ latencyHint: 'interactive', sampleRate: rate });
    shared.context = context;
    // Held until the engine has built its strings: that takes the audio thread tens of
    // milliseconds, which a running context hears as a gap and counts as underruns.
    const held = context.suspend();
    const engine = await engineBytes;
    await context.audioWorklet.addModule('worklet.js');
    const created = new AudioWorkletNode(context, 'quorvel-harp', {
      numberOfInputs: 0, outputChannelCount: [2], processorOptions: { engine } });
    const built = new Promise((resolve) => {
      created.port.onmessage = (event) => {
        if (event.data.kind === 'ready') resolve();
        receive(event.data);
      };
    });
    created.connect(context.destination);
    node = created;
    post({ kind: 'strings', count: instrument.HEAPF32[instrument._quorvel_scene(1, 1) >> 2] });
    for (const message of waiting) post(message, message.burst ? [message.burst.buffer] : []);
    waiting = [];
    await held;
    await built;
    await context.resume();
    shared.rate = context.sampleRate;
    shared.baseLatency = context.baseLatency;
    shared.outputLatency = context.outputLatency;
    soundLine.textContent = `${context.sampleRate} Hz`;
  })();
  return starting;
}

function applyKey(key) {
  const request = instrument._quorvel_key(key.charCodeAt(0));
  showMessages();
  if (request === kWindowRequest.enterFullScreen || request === kWindowRequest.leaveFullScreen) {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  }
}

document.addEventListener('keydown', (event) => {
  if (event.ctrlKey || event.metaKey || event.altKey || event.key.length !== 1) return;
  startSound();
  applyKey(event.key);
});
for (const button of document.querySelectorAll('[data-key]'))
  button.addEventListener('click', () => { startSound(); applyKey(button.dataset.key); });

// The pointer: each mouse, pen or finger is a fingertip; pressed is past the string plane.
const pointers = new Map();
const tips = instrument._malloc(8 * 4 * kMaxPointers);
function pointerFrame(timeStamp) {
  if (demo || replay) return; // those sources own the fingertips while they play
  const values = new Float64Array(instrument.HEAPF64.buffer, tips, 4 * kMaxPointers);
  let count = 0;
  for (const [id, tip] of pointers) {
    if (count === kMaxPointers) break;
    values.set([id, tip.x, tip.y, tip.pressed ? kPressedMm : kHoveringMm], 4 * count++);
  }
  instrument._quorvel_frame(count, tips, timeStamp * 1000);
}
function pointerAt(event, pressed) {
  const box = canvas.getBoundingClientRect();
  return { x: kLeftMm + kWidthMm * (event.clientX - box.left) / box.width,
           y: kBottomMm + kHeightMm * (1 - (event.clientY - box.top) / box.height), pressed };
}
canvas.addEventListener('pointerdown', (event) => {
  startSound();
  canvas.setPointerCapture(event.pointerId);
  const id = 1000 + event.pointerId;
  if (!pointers.has(id)) {
    // A new track starts at the left edge: it arrives above the strings, then presses.
    pointers.set(id, pointerAt(event, false));
    pointerFrame(event.timeStamp);
  }
  pointers.set(id, pointerAt(event, true));
  pointerFrame(event.timeStamp);
});
canvas.addEventListener('pointermove', (event) => {
  const id = 1000 + event.pointerId;
  const pressed = (event.buttons & 1) === 1;
  if (!pointers.has(id)) {
    pointers.set(id, pointerAt(event, false));
    pointerFrame(event.timeStamp);
  }
  pointers.set(id, pointerAt(event, pressed));
  pointerFrame(event.timeStamp);
});
canvas.addEventListener('pointerup', (event) => {
  const id = 1000 + event.pointerId;
  if (event.pointerType === 'mouse') pointers.set(id, pointerAt(event, false));
  else pointers.delete(id);
  pointerFrame(event.timeStamp);
});
for (const type of ['pointercancel', 'pointerleave']) {
  canvas.addEventListener(type, (event) => {
    if (pointers.delete(1000 + event.pointerId)) pointerFrame(event.timeStamp);
  });
}
canvas.addEventListener('contextmenu', (event) => event.preventDefault());

// Recordings: opened, dropped, or one of the examples. The replay's clock starts once the sound
// runs, so that no pluck waits for the worklet past its time.
async function openRecording(name, bytes) {
  await startSound();
  instrument.FS.writeFile('/recording.jsonl', new Uint8Array(bytes));
  const size = 4 * name.length + 1;
  const text = instrument._malloc(size);
  instrument.stringToUTF8(name, text, size);
  const opened = instrument._quorvel_open(stringOnHeap('/recording.jsonl'), text);
  instrument._free(text);
  demo = null;
  replay = opened ? { start: clock() + kLookaheadSeconds, lookahead: kLookaheadSeconds,
                      ticked: performance.now() } : null;
  shared.replaying = !!replay;
  showMessages();
}
const paths = new Map();
function stringOnHeap(value) {
  if (!paths.has(value)) {
    const size = 4 * value.length + 1;
    const at = instrument._malloc(size);
    instrument.stringToUTF8(value, at, size);
    paths.set(value, at);
  }
  return paths.get(value);
}
async function openFile(file) {
  startSound();
  openRecording(file.name, await file.arrayBuffer());
}
document.getElementById('file').addEventListener('change', (event) => {
  if (event.target.files[0]) openFile(event.target.files[0]);
});
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => {
  event.preventDefault();
  const file = event.dataTransfer.files[0];
  if (file) openFile(file);
});
for (const button of document.querySelectorAll('[data-example]')) {
  button.addEventListener('click', async () => {
    startSound();
    const name = `examples/${button.dataset.example}.jsonl`;
    openRecording(name, await (await fetch(name)).arrayBuffer());
  });
}
document.getElementById('demo').addEventListener('click', () => {
  startSound();
  replay = null;
  shared.replaying = false;
  demo = demo ? null : { start: clock(), next: 0 };
});

// The sources' clock: the demo's frames and the recording's lines as their time comes.
function tick() {
  if (replay) {
    const now = performance.now();
    const stalled = (now - replay.ticked) / 1000;
    replay.lookahead = Math.min(kMostLookaheadSeconds,
        Math.max(kLookaheadSeconds, replay.lookahead - stalled / 4, 2 * stalled));
    replay.ticked = now;
    const micros = (clock() + replay.lookahead - replay.start) * 1e6;
    if (!instrument._quorvel_replay(micros)) {
      replay = null;
      shared.replaying = false;
    }
    showMessages();
  }
  if (demo) {
    const due = Math.floor((clock() - demo.start) / kDemoFrameSeconds);
    // After a long stall (a hidden tab) go on from now rather than race through the backlog.
    if (due - demo.next > 50) demo.next = due - 50;
    for (; demo.next <= due; ++demo.next) instrument._quorvel_demo(demo.next);
  }
}
setInterval(tick, 5);

const scene = new Scene(canvas);
let lastDraw = 0;
function draw(now) {
  requestAnimationFrame(draw);
  if (now - lastDraw < 1000 / instrument._quorvel_frame_rate() - 2) return;
  lastDraw = now;
  ++shared.drawn;
  if (node && spare) {
    node.port.postMessage({ kind: 'waveforms', ...spare }, [spare.pairs.buffer, spare.counts.buffer]);
    spare = null; // until the worklet sends them back
  }
  const { width, height } = scene.fit();
  const at = instrument._quorvel_scene(width, height) >> 2;
  const values = instrument.HEAPF32.subarray(at, at + 4 + 30 * 5 + 16 * 13);
  scene.render(values, waveforms, camera.handsInWindow(), camera.style);
  document.getElementById('banner').classList.toggle('hidden', values[3] === 0);
  banner.textContent = instrument.UTF8ToString(instrument._quorvel_banner());
  if (context) soundLine.textContent =
      `${context.sampleRate} Hz, ${shared.blockFrames} frames a block, ` +
      `underruns ${underruns()}`;
}
requestAnimationFrame(draw);

if (params.has('demo')) document.getElementById('demo').click();
// The tests' ear: every block the worklet plays, posted back while on.
shared.tap = (on) => post({ kind: 'tap', on, session: ++tapSession });
// The engine alone in the worklet: every string plucked, then `blocks` blocks of 128 frames.
shared.bench = (blocks) => post({ kind: 'bench', blocks,
  strings: instrument.HEAPF32[instrument._quorvel_scene(1, 1) >> 2] });
shared.ready = true;
