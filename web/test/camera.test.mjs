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

// One video through the page: the plucks of its first pass (the fake camera loops it) and, at
// "strings set", whether the hand is under the spheres.
async function play(name) {
  const avi = path.join(videos, `${name}.avi`);
  const y4m = path.join(work, `${name}.y4m`);
  const seconds = Number(execFileSync(python, [helper, 'y4m', avi, y4m]).toString());
  const { address, browser, server } = await startBrowser(root, [
    '--use-fake-device-for-media-stream', `--use-file-for-fake-video-capture=${y4m}`]);
  const context = await browser.newContext({ viewport: { width: kWidth, height: kHeight },
                                             permissions: ['camera'] });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (line) => { if (line.type() === 'error') errors.push(line.text()); });
  await page.goto(address);
  await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
  const ready = await page.evaluate(() => window.quorvel.camera.load());
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
    return { plucks: plucks.filter((p) => p.time * 1000 >= camera.startedAt &&
                                          p.time * 1000 < end).length,
             messages, medianMs: ms[ms.length >> 1], images: camera.trackedAt.filter((at) => at < end).length,
             loadedMs: camera.loadedMs };
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
    result.gone = await during(6.8, 7.9, () => picture(page));
    if (result.still) result.still.pixels = await pixelsOf(page, result.still.pixels);
    if (result.gone) result.gone = await pixelsOf(page, result.gone);
  }
  await browser.close();
  server.close();
  return { ...result, seconds };
}

function desktopPlucks(name) {
  const out = execFileSync(python, [helper, 'desktop', path.join(videos, `${name}.avi`)],
                           { stdio: ['ignore', 'pipe', 'inherit'] });
  return Number(out.toString().trim().split('\n').pop());
}

for (const name of ['pluck-in', 'pluck-back']) {
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
fs.rmSync(work, { recursive: true, force: true });
process.exit(failures ? 1 : 0);
