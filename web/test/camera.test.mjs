// The camera in the page, from chromium's fake camera fed the camera tests' videos of a real
// hand (tests/camera/makevideos.py), tracked by the desktop's pipeline in the page's worker: a
// sweep past the string plane plucks as often as the desktop's video: source on the same video,
// a sweep at the resting distance as often (none), and the picture shows the hand under the
// fingertips' spheres. Also prints what tracking costs (a note, not a check).
//   node camera.test.mjs DIST_WEB VIDEOS_DIR      (QUORVEL_BINARY: the desktop program)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startBrowser } from './browser.mjs';

const [root, videos] = process.argv.slice(2);
const helper = path.join(path.dirname(new URL(import.meta.url).pathname), 'camera_videos.py');
const python = '/usr/bin/python3'; // Debian's, with OpenCV
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-camera-'));
const kWidth = 800, kHeight = 600;

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
  if (!ok) ++failures;
}

// A picture-only screenshot (the strings and spheres hidden), as PNG; quick, so that it is taken
// at a known point of the video.
async function picture(page) {
  await page.evaluate(() => { document.getElementById('harp').style.visibility = 'hidden'; });
  const shot = await page.screenshot();
  await page.evaluate(() => { document.getElementById('harp').style.visibility = ''; });
  return shot;
}

// A screenshot's pixels, [r, g, b, a] rows.
async function pixelsOf(page, shot) {
  const base64 = await page.evaluate(async (png) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const bytes = context.getImageData(0, 0, image.width, image.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }, shot.toString('base64'));
  return Buffer.from(base64, 'base64');
}

// One browser for every video: chromium's fake camera opens its file each time a page opens the
// camera, so each video is linked there in turn.
const fake = path.join(work, 'camera.y4m');
function feed(name) {
  const y4m = path.join(work, `${name}.y4m`);
  const seconds = Number(execFileSync(python, [helper, 'y4m', videoOf(name), y4m]).toString());
  fs.rmSync(fake, { force: true });
  fs.symlinkSync(y4m, fake);
  return seconds;
}
const videoOf = (name) => path.join(name === 'two-hands' ? work : videos, `${name}.avi`);
const stringsOf = (name) => (name === 'two-hands' ? 4 : 1); // each hand sweeps across its side's
execFileSync(python, [helper, 'two', work]);
feed('pluck-in');
const { address, browser, server } = await startBrowser(root, [
  '--use-fake-device-for-media-stream', `--use-file-for-fake-video-capture=${fake}`]);
const served = new Set();
server.on('request', (request) => served.add(new URL(request.url, address).pathname));

// A fresh page (its own worker and tracker, as a fresh start of the desktop program).
async function open() {
  const context = await browser.newContext({ viewport: { width: kWidth, height: kHeight },
                                             permissions: ['camera'] });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (line) => { if (line.type() === 'error') errors.push(line.text()); });
  await page.goto(address);
  await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
  return { context, page, errors };
}

// One video through the page: the plucks of its first pass (the fake camera loops it), on which
// strings, and, at "strings set", whether the hand is under the spheres.
async function play(name) {
  const seconds = feed(name);
  const { context, page, errors } = await open();
  // The models first, so that the video's first pass is tracked from its start.
  const ready = await page.evaluate(() => window.quorvel.camera.load());
  for (let s = 1; s < stringsOf(name); ++s) await page.keyboard.press('a');
  await page.click('#camera-button');
  const result = { ready, errors };
  // The fake camera plays the video over and over from when it opened: a point of the video is
  // a point of that clock, seconds modulo its length.
  const videoTime = () => page.evaluate(() => window.quorvel.camera.video.currentTime);
  const during = async (from, to, act) => {
    for (let tries = 0; tries < 8; ++tries) {
      await page.waitForFunction(([from, to, length]) => {
        const t = window.quorvel.camera.video.currentTime % length;
        return t >= from && t < to;
      }, [from, to - 0.3, seconds], { timeout: 60000, polling: 20 });
      const before = await videoTime();
      const done = await act();
      const after = await videoTime();
      if (after - before < to - from && before % seconds >= from && after % seconds < to &&
          Math.floor(before / seconds) === Math.floor(after / seconds))
        return done;
    }
    return null;
  };
  await page.waitForFunction((length) => window.quorvel.camera.video.currentTime > length,
                             seconds, { timeout: 60000, polling: 50 });
  Object.assign(result, await page.evaluate((length) => {
    const { camera, plucks, messages } = window.quorvel;
    // Plucks of the first pass: the desktop's video: source plays it once.
    const end = camera.startedAt + 1000 * length;
    const ms = camera.trackedMs.slice().sort((a, b) => a - b);
    // Plucks are timed by the sound's clock once it runs (a key starts it).
    const { context } = window.quorvel;
    const offset = context ? performance.now() - 1000 * context.currentTime : 0;
    const first = plucks.filter((p) => p.time * 1000 + offset >= camera.startedAt &&
                                       p.time * 1000 + offset < end);
    return { plucks: first.length,
             messages, medianMs: ms[ms.length >> 1], images: camera.trackedAt.filter((at) => at < end).length,
             loadedMs: camera.loadedMs, strings: first.map((p) => p.string) };
  }, seconds));
  if (name === 'pluck-in') {
    // The hand held still, calibrated: the picture and the spheres (as the instrument places
    // them, quorvel_scene); then the same picture with the hand swept away, after the sweep.
    result.still = await during(0.4, 2.4, async () => ({ pixels: await picture(page),
      tips: await page.evaluate(({ width, height }) => {
        const instrument = window.quorvel.camera.instrument;
        const at = instrument._quorvel_scene(width, height) >> 2;
        const values = instrument.HEAPF32;
        const tips = [];
        for (let f = 0, first = at + 4 + 5 * values[at]; f < values[at + 1]; ++f)
          tips.push([values[first + 13 * f] * width, (1 - values[first + 13 * f + 1]) * height]);
        return tips;
      }, { width: kWidth, height: kHeight }) }));
    result.gone = await during(8.3, 9.4, () => picture(page));
    if (result.still) result.still.pixels = await pixelsOf(page, result.still.pixels);
    if (result.gone) result.gone = await pixelsOf(page, result.gone);
  }
  await context.close();
  return { ...result, seconds };
}

function desktopPlucks(name) {
  const out = execFileSync(python, [helper, 'desktop', videoOf(name), String(stringsOf(name))],
                           { stdio: ['ignore', 'pipe', 'inherit'] });
  return Number(out.toString().trim().split('\n').pop());
}

for (const name of ['pluck-in', 'pluck-back', 'two-hands']) {
  const desktop = desktopPlucks(name);
  const page = await play(name);
  check(page.ready && page.errors.length === 0,
        `${name}: the hand models load in the page with no error (${page.errors.join(' | ')})`);
  check(page.plucks === desktop,
        `${name}: the page plucks ${page.plucks} times, the desktop's video: source ${desktop}`);
  console.log(`note: ${name}: ${page.images} images tracked in its ${page.seconds} s ` +
              `(${(page.images / page.seconds).toFixed(1)} a second), median ` +
              `${page.medianMs.toFixed(1)} ms an ` +
              `image, models ready ${(page.loadedMs / 1000).toFixed(1)} s after the page asked`);
  if (name === 'two-hands') // each hand sweeps across the strings of its side only
    check(page.strings.includes(0) && page.strings.includes(3),
          `two-hands: both hands pluck, strings ${page.strings.join(' ')}`);
  if (name !== 'pluck-in') continue;
  const told = ['camera: show a hand', 'camera: hold still', 'camera: strings set'].map(
      (start) => page.messages.findIndex((line) => line.startsWith(start)));
  check(!told.includes(-1) && told.every((at, i) => i === 0 || at > told[i - 1]),
        `the calibration's sentences in order (${page.messages.join(' | ')})`);
  // The hand: where the picture at "strings set" differs from the picture once it swept away.
  check(page.still && page.gone, 'the picture taken with the hand still, and once it swept away');
  if (!page.still || !page.gone) continue;
  const hand = (x, y) => {
    const at = 4 * (Math.round(y) * kWidth + Math.round(x));
    let difference = 0;
    for (let c = 0; c < 3; ++c)
      difference += Math.abs(page.still.pixels[at + c] - page.gone[at + c]);
    return difference > 12;
  };
  const radius = 0.025 * kWidth;
  const share = (x, from, to) => {
    let count = 0, total = 0;
    for (let y = from; y <= to; ++y)
      for (let dx = -0.3 * radius; dx <= 0.3 * radius; ++dx, ++total) count += hand(x + dx, y);
    return count / total;
  };
  const placed = page.still.tips.filter(([x, y]) => y > 2.2 * radius && y < kHeight - 2.2 * radius);
  check(placed.length >= 3 && placed.every(([x, y]) =>
            share(x, y + 1.5 * radius, y + 2.2 * radius) > 0.5 &&
            share(x, y - 2.2 * radius, y - 1.5 * radius) < 0.5),
        `the picture shows the hand just below each fingertip's sphere, nothing of it above ` +
        `(${page.still.tips.map(([x, y]) => `${x.toFixed(0)},${y.toFixed(0)}`).join(' ')})`);
}
// Last, a first visit, the camera chosen before the models: their download told as it comes,
// to the byte served, then the tracker's sentences.
const { context, page, errors } = await open();
served.clear();
await page.evaluate(() => {
  const line = document.getElementById('camera'), lines = window.quorvel.lines = [];
  new MutationObserver(() => lines.push(line.textContent)).observe(line, { childList: true });
});
const clicked = await page.evaluate(() => performance.now());
await page.click('#camera-button');
await page.waitForFunction(() => / images a second$/.test(window.quorvel.lines.at(-1)), null,
                           { timeout: 60000 });
const { lines, tracking } = await page.evaluate(() => (
  { lines: window.quorvel.lines, tracking: window.quorvel.camera.trackedAt[0] }));
console.log(`note: a first visit tracks ${((tracking - clicked) / 1000).toFixed(1)} s after "camera"`);
await context.close();
const mb = [...served].filter((file) => /^\/(ort\/.*\.wasm|models\/.*\.onnx)$/.test(file))
                      .reduce((sum, file) => sum + fs.statSync(path.join(root, file)).size, 0) /
           1e6;
const shown = lines.map((line) => /^loading the hand models: ([\d.]+) of ([\d.]+) MB$/.exec(line));
const n = shown.filter(Boolean).map(([, loaded, total]) => [Number(loaded), Number(total)]);
const after = lines.slice(shown.findLastIndex(Boolean) + 1);
check(errors.length === 0 && n.length >= 3 && n.every(([, m]) => Math.abs(m - mb) < 0.06) &&
          n.every(([loaded], i) => i === 0 || loaded >= n[i - 1][0]) && n[0][0] < n.at(-1)[0] &&
          n.at(-1)[0] === n[0][1] && /^show a hand/.test(after[0]),
      `the download told rising to all ${mb.toFixed(1)} MB served, then the tracker's sentences ` +
      `(${n.length} lines: ${n[0]} … ${n.at(-1)} | ${after.join(' | ')})`);
await browser.close();
server.close();
fs.rmSync(work, { recursive: true, force: true });
process.exit(failures ? 1 : 0);
