// Measures the hand models in the browser as the page serves them: onnxruntime-web on the CPU,
// one thread (the page has no cross-origin isolation, so no threads), the lite models, each run
// `runs` times on a fixed image; and what the first visit downloads for them. Given a video
// (Y4M) instead, plays it once through chromium's fake camera into the page and prints the
// worker's milliseconds per tracked image (bench/camera.sh page sets it beside the desktop's).
//   node measure-camera.mjs DIST_WEB [runs]
//   node measure-camera.mjs DIST_WEB VIDEO.y4m SECONDS
import { startBrowser } from './browser.mjs';

const [root, runs = '50', seconds] = process.argv.slice(2);
if (runs.endsWith('.y4m')) {
  const { address, browser, server } = await startBrowser(root, [
    '--use-fake-device-for-media-stream', `--use-file-for-fake-video-capture=${runs}`]);
  const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
  await page.context().grantPermissions(['camera']);
  await page.goto(address);
  await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
  await page.evaluate(() => window.quorvel.camera.load());
  await page.click('#camera-button');
  // One pass of the video from when the camera opened (the fake camera loops it).
  await page.waitForFunction((length) => window.quorvel.camera.video.currentTime > length,
                             Number(seconds), { timeout: 120000, polling: 100 });
  const { ms, hands } = await page.evaluate(() => ({
    ms: window.quorvel.camera.trackedMs.slice(),
    hands: window.quorvel.camera.hands.length }));
  // The first image waits for the camera's start: left out, as the desktop bench leaves it.
  const sorted = ms.slice(1).sort((a, b) => a - b);
  console.log(`page: ${ms.length} images tracked in ${seconds} s ` +
              `(${(ms.length / seconds).toFixed(1)} a second), hands at the end ${hands}, ` +
              `worker per image: median ` +
              `${sorted[sorted.length >> 1].toFixed(1)} ms, p99 ` +
              `${sorted[Math.floor(0.99 * (sorted.length - 1))].toFixed(1)} ms`);
  await browser.close();
  server.close();
  process.exit(0);
}
const { address, browser, server } = await startBrowser(root);
const page = await browser.newPage();
await page.goto(address);
await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
const result = await page.evaluate(async (runs) => {
  const started = performance.now();
  const ort = await import('./ort/ort.wasm.min.mjs');
  ort.env.wasm.wasmPaths = new URL('ort/', location.href).href;
  ort.env.wasm.numThreads = 1;
  const models = {};
  for (const [name, side] of [['palm_detection_lite', 192], ['hand_landmark_lite', 224]]) {
    const session = await ort.InferenceSession.create(`models/${name}.onnx`,
                                                      { executionProviders: ['wasm'] });
    const pixels = new Float32Array(3 * side * side).map((_, i) => (i % 251) / 251);
    const feeds = { [session.inputNames[0]]: new ort.Tensor('float32', pixels, [1, 3, side, side]) };
    await session.run(feeds);
    const times = [];
    for (let i = 0; i < runs; ++i) {
      const before = performance.now();
      await session.run(feeds);
      times.push(performance.now() - before);
    }
    times.sort((a, b) => a - b);
    models[name] = { median: times[times.length >> 1], best: times[0] };
  }
  const loaded = performance.now() - started;
  const bytes = {};
  for (const entry of performance.getEntriesByType('resource'))
    bytes[new URL(entry.name).pathname] = entry.encodedBodySize;
  return { models, loaded, bytes };
}, Number(runs));
for (const [name, { median, best }] of Object.entries(result.models))
  console.log(`${name}: median ${median.toFixed(1)} ms, best ${best.toFixed(1)} ms`);
const runtime = Object.entries(result.bytes).filter(([name]) => /\/(ort|models)\//.test(name));
console.log(`runtime and models: ${runtime.map(([name, size]) => `${name} ${(size / 1e6).toFixed(2)} MB`).join(', ')}; ` +
            `${(runtime.reduce((sum, [, size]) => sum + size, 0) / 1e6).toFixed(1)} MB in all, ` +
            `loaded and run once in ${(result.loaded / 1000).toFixed(1)} s`);
await browser.close();
server.close();
