// Measures the page (a benchmark, not a test): its compressed download, the time from the first
// touch to sound, the worklet's block and the latency the browser reports, and the engine at 30
// strings in the worklet, per string-sample, beside the native engine's (audio_bench) in the
// same run.
//   node measure.mjs DIST_WEB [AUDIO_BENCH]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { startBrowser } from './browser.mjs';

const [root, audioBench] = process.argv.slice(2);
let raw = 0, gzipped = 0;
for (const name of fs.readdirSync(root)) {
  const file = path.join(root, name);
  if (!fs.statSync(file).isFile()) continue; // the examples are fetched only when played
  const data = fs.readFileSync(file);
  raw += data.length;
  gzipped += zlib.gzipSync(data, { level: 9 }).length;
}
console.log(`download: ${(raw / 1024).toFixed(0)} KiB, ${(gzipped / 1024).toFixed(0)} KiB gzipped`);

const { address, browser, server } = await startBrowser(root);
const page = await browser.newPage();
const loading = Date.now();
await page.goto(address);
await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
console.log(`page ready: ${Date.now() - loading} ms after the address was opened`);
// The first gesture, a drag across the one string, starts the sound and plucks.
await page.mouse.move(100, 300);
await page.mouse.down();
await page.mouse.move(700, 300, { steps: 10 });
await page.mouse.up();
await page.waitForFunction(() => window.quorvel.firstSoundMs >= 0);
await page.waitForTimeout(1000);
const sound = await page.evaluate(() => {
  const { context, firstSoundMs, blockFrames } = window.quorvel;
  return { firstSoundMs, blockFrames, rate: context.sampleRate, base: context.baseLatency,
           output: context.outputLatency, average: context.playbackStats.averageLatency };
});
console.log(`first sound: ${sound.firstSoundMs.toFixed(0)} ms from the first touch of the ` +
            `page to the first block with sound (worklet started, engine compiled, string plucked)`);
console.log(`worklet: ${sound.blockFrames} frames a block at ${sound.rate} Hz; latency ` +
            `base ${(sound.base * 1000).toFixed(1)} ms, output ${(sound.output * 1000).toFixed(1)} ms, ` +
            `playback average ${(sound.average * 1000).toFixed(1)} ms`);

for (let i = 0; i < 29; ++i) await page.keyboard.press('a');
// The engine alone in the worklet, in either voice, with the heap it holds meanwhile (every
// string is built at the start, in the voice playing).
const blocks = 20000;
for (const voice of ['classic', 'concert']) {
  if (voice === 'concert') await page.keyboard.press('o');
  await page.evaluate((count) => { window.quorvel.benchMs = -1; window.quorvel.bench(count); }, blocks);
  await page.waitForFunction(() => window.quorvel.benchMs >= 0, null, { timeout: 120000 });
  const { benchMs: ms, heapBytes, memoryBytes } = await page.evaluate(() => window.quorvel);
  console.log(`engine in the page, 30 ${voice} strings: ${(ms * 1e6 / (blocks * 128 * 30)).toFixed(2)} ns ` +
              `per string-sample (${blocks} blocks of 128 in ${ms} ms); heap in use ` +
              `${(heapBytes / 1048576).toFixed(1)} of the module's ${memoryBytes / 1048576} MiB`);
}
await browser.close();
server.close();

if (audioBench) {
  const out = execFileSync(audioBench, ['--benchmark_filter=BM_HarpPass/30$',
                                        '--benchmark_format=json'], { encoding: 'utf8' });
  const run = JSON.parse(out).benchmarks[0];
  const perStringSample = run.cpu_time / (256 * 30); // a pass is 256 frames
  console.log(`native engine, 30 strings: ${perStringSample.toFixed(2)} ${run.time_unit} per ` +
              `string-sample (audio_bench BM_HarpPass/30)`);
}
