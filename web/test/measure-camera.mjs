// Measures the hand models in the browser as the page serves them: onnxruntime-web on the CPU,
// one thread (the page has no cross-origin isolation, so no threads), the lite models, each run
// `runs` times on a fixed image; and what the first visit downloads for them.
//   node measure-camera.mjs DIST_WEB [runs]
import { startBrowser } from './browser.mjs';

const [root, runs = '50'] = process.argv.slice(2);
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
