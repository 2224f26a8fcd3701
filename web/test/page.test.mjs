// The page in Debian's headless chromium: it loads clean, draws its strings, plays the pointer,
// the demo and recordings, and sounds as quorvel-render does.
//   node page.test.mjs DIST_WEB QUORVEL_RENDER EXAMPLES_DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { onsets, pitchRatio, readWav } from './sound.mjs';
import { startBrowser } from './browser.mjs';

const [root, render, examples] = process.argv.slice(2);
// One browser for every part: its fake camera matters only to the page that asks for one.
const { address, browser, server } = await startBrowser(root, ['--use-fake-device-for-media-stream']);

let failures = 0;
const started = Date.now();
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAILED'} (${((Date.now() - started) / 1000).toFixed(1)} s): ${what}`);
  if (!ok) ++failures;
}

const kWidth = 800, kHeight = 600;
async function open(query = '', init = null, context = browser, base = address) {
  const page = await context.newPage({ viewport: { width: kWidth, height: kHeight } });
  if (init) await page.addInitScript(init);
  page.errors = [];
  page.notes = []; // the note lines the page prints, as the desktop program does
  page.on('console', (line) => {
    if (line.type() === 'error') page.errors.push(line.text());
    if (line.text().startsWith('note: ')) page.notes.push(line.text());
  });
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(base + query);
  await page.waitForFunction(() => window.quorvel && window.quorvel.ready);
  return page;
}
const state = (page) => page.evaluate(() => {
  const { plucks, messages, underruns, replaying, skipped, latePlucks, engineWritten } = window.quorvel;
  return { plucks, messages, replaying, underruns: underruns(), skipped, latePlucks, engineWritten };
});

// Strings on screen: runs of lit pixels across a row above the buttons.
async function stringsShown(page) {
  const drawn = await page.evaluate(() => window.quorvel.drawn);
  await page.waitForFunction((before) => window.quorvel.drawn > before + 1, drawn);
  // A band of rows above the pointer's sphere: a column is lit where any of them is.
  const rows = 100;
  const shot = await page.screenshot({ clip: { x: 0, y: 100, width: kWidth, height: rows } });
  const pixels = await page.evaluate(async ([base64, rows]) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + base64;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, rows);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const data = context.getImageData(0, 0, image.width, rows).data;
    const brightest = [];
    for (let x = 0; x < image.width; ++x) {
      let at = 4 * x;
      for (let y = 1; y < rows; ++y)
        if (data[4 * (y * image.width + x)] > data[at]) at = 4 * (y * image.width + x);
      brightest.push(data[at], data[at + 1]);
    }
    return brightest;
  }, [shot.toString('base64'), rows]);
  // widest: the widest string in pixels, as its live waveform swings it.
  let runs = 0, lit = false, pink = false, widest = 0, from = 0;
  for (let x = 0; x < pixels.length / 2; ++x) {
    const [r, g] = [pixels[2 * x], pixels[2 * x + 1]];
    if (r > 60 && !lit && runs === 0) pink = r > g + 40;
    if (r > 60 && !lit) ++runs, from = x;
    if (r <= 60 && lit) widest = Math.max(widest, x - from);
    lit = r > 60;
  }
  return { runs, pink, widest };
}

async function drag(page, fromX, toX, steps = 20, pauseMs = 0) {
  await page.mouse.move(fromX * kWidth, 300);
  await page.mouse.down();
  for (let step = 1; step <= steps; ++step) {
    await page.mouse.move((fromX + (toX - fromX) * step / steps) * kWidth, 300);
    if (pauseMs) await page.waitForTimeout(pauseMs);
  }
  await page.mouse.up();
}

// Whether the worklet's output carries sound: the tap's blocks while `act` runs.
async function heard(page, act) {
  await page.evaluate(() => { window.quorvel.tapped = []; window.quorvel.tap(true); });
  await act();
  const sounded = await page.waitForFunction(() => window.quorvel.tapped.some(
      (block) => block.some((sample) => sample !== 0)), null, { timeout: 2000 }).catch(() => null);
  await page.evaluate(() => window.quorvel.tap(false));
  return sounded !== null;
}

// The loudest sample the worklet plays in the next `ms` ms, past its first `afterMs` (NaN: none).
async function loudest(page, ms, afterMs = 0) {
  await page.evaluate(() => { window.quorvel.tapped = []; window.quorvel.tap(true); });
  await page.waitForTimeout(ms);
  return page.evaluate((afterMs) => {
    window.quorvel.tap(false);
    const kept = window.quorvel.tapped.filter((block, i) =>
        i * block.length >= afterMs / 1000 * window.quorvel.rate);
    return kept.length ? Math.max(...kept.map((block) => Math.max(...block.map(Math.abs)))) : NaN;
  }, afterMs);
}

// The page, the keys, the pointer and a malformed recording.
{
  const page = await open();
  check((await stringsShown(page)).runs === 1, 'one string at the start');
  for (let i = 0; i < 9; ++i) await page.keyboard.press('a');
  const shown = await stringsShown(page);
  check(shown.runs === 10 && shown.pink, `ten strings after a nine times, the first pink (${shown.runs})`);

  // Strings stand at 0.05, 0.15, ...: across 1, 2 and 3, and back over the same three.
  const sounded = await heard(page, () => drag(page, 0.11, 0.39));
  let plucked = (await state(page)).plucks.map((pluck) => pluck.string);
  const notes = page.notes.join(' | ');
  check(sounded && plucked.join() === '1,2,3' && page.notes.length === 3 &&
        (await state(page)).engineWritten === 0,
        `a drag across three strings plucks them (${plucked}), their note lines printed by the ` +
        `page, none by the worklet's pass (${notes})`);
  await drag(page, 0.39, 0.11);
  plucked = (await state(page)).plucks.map((pluck) => pluck.string);
  const swinging = await stringsShown(page);
  check(plucked.join() === '1,2,3,3,2,1' && swinging.widest > 2 * shown.widest,
        `a drag back plucks them again, right to left (${plucked}), drawn swinging ` +
        `(${shown.widest} px wide at rest, ${swinging.widest} ringing)`);

  await page.evaluate(() => {
    const transfer = new DataTransfer();
    transfer.items.add(new File(['{"id":1,"timestamp":\n[[[not json\n'], 'broken.jsonl'));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true }));
  });
  await page.waitForFunction(() => window.quorvel.messages.some((line) => line.includes('no tracking')));
  const messages = (await state(page)).messages;
  check(messages.some((line) => line.startsWith('broken.jsonl:1:')) &&
        messages.some((line) => line.includes('no tracking frames')),
        `a malformed recording dropped is said (${messages.join(' | ')})`);
  const before = (await state(page)).plucks.length;
  await drag(page, 0.11, 0.39);
  check((await state(page)).plucks.length === before + 3, 'and the page plays on');

  // Two fingers at once on a touch screen, then a pen: each is a fingertip of its own.
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 2 });
  const sweep = async (send) => {
    const count = (await state(page)).plucks.length;
    for (let step = 0; step <= 20; ++step) await send(0.11 + 0.28 * step / 20, step);
    return (await state(page)).plucks.slice(count).map((pluck) => pluck.string).sort().join();
  };
  const touched = await sweep((x, step) => cdp.send('Input.dispatchTouchEvent', {
    type: step === 0 ? 'touchStart' : step === 20 ? 'touchEnd' : 'touchMove',
    touchPoints: step === 20 ? [] : [200, 400].map((y, id) => ({ x: x * kWidth, y, id })) }));
  const penned = await sweep((x, step) => cdp.send('Input.dispatchMouseEvent', {
    type: step === 0 ? 'mousePressed' : step === 20 ? 'mouseReleased' : 'mouseMoved',
    x: x * kWidth, y: 300, button: 'left', buttons: step === 20 ? 0 : 1, clickCount: 1,
    pointerType: 'pen' }));
  check(touched === '1,1,2,2,3,3' && penned === '1,2,3',
        `two fingers each pluck the three strings (${touched}), and so does a pen (${penned})`);

  // The voice's button; thirty strings (built once in the worklet) sound, and ten are left.
  await page.click('[data-key="o"]');
  for (let i = 0; i < 20; ++i) await page.keyboard.press('a');
  const high = await heard(page, () => drag(page, 0.9, 0.99));
  const ringing = await loudest(page, 100);
  for (let i = 0; i < 20; ++i) await page.keyboard.press('z');
  // The strings plucked are among those taken away: silent at once, as on the desktop, and
  // still silent when they come back. The concert voice's box rings on briefly (60 dB down in
  // 30 ms): the window may open within that, so its first 50 ms are not counted.
  const left = await loudest(page, 300, 50);
  for (let i = 0; i < 20; ++i) await page.keyboard.press('a');
  const back = await loudest(page, 300);
  for (let i = 0; i < 20; ++i) await page.keyboard.press('z');
  check((await state(page)).messages.includes('voice: concert') && high &&
        (await stringsShown(page)).runs === 10 && Math.max(left, back) < ringing / 1000,
        `the voice button plays the concert voice, on thirty strings, then ten, the twenty ` +
        `taken away silent at once and when they come back (${ringing.toFixed(3)}, then ` +
        `${left.toExponential(1)} and ${back.toExponential(1)})`);
  check(page.errors.length === 0, `no console error (${page.errors.join(' | ')})`);
  await page.close();
}

// MIDI out to a stand-in for Web MIDI (the browser's own needs a MIDI system) that keeps what
// each output was sent; then a browser without Web MIDI.
{
  const standIn = () => {
    window.midiSent = [];
    const output = (id, name) => ({ id, name, state: 'connected', send: (data) =>
        window.midiSent.push({ port: id, data: Array.from(data), ms: performance.now() }) });
    const outputs = new Map([['a', output('a', 'Synth A')], ['b', output('b', 'Synth B')]]);
    navigator.requestMIDIAccess = async () => ({ outputs, inputs: new Map() });
  };
  const context = await browser.newContext({ viewport: { width: kWidth, height: kHeight } });
  let page = await open('', standIn, context);
  for (const key of 'aaaaaaaaat') await page.keyboard.press(key);
  await page.click('#midi');
  await page.waitForFunction(() => !document.getElementById('midi-port').classList.contains('hidden'));
  await page.selectOption('#midi-port', 'b');
  await drag(page, 0.11, 0.19, 20, 50);  // slowly across string 1
  await drag(page, 0.21, 0.29, 2);       // briskly across string 2
  await drag(page, 0.19, 0.11, 2);       // string 1 again while it sounds
  await page.waitForTimeout(3300);       // every note's time is up
  await drag(page, 0.31, 0.39, 2);
  await page.click('#midi');             // off: string 3's note ends now
  await drag(page, 0.11, 0.19, 2);       // and nothing more goes out
  const sent = await page.evaluate(() => window.midiSent);
  const sounding = new Map();
  const ons = [];
  let paired = true;
  for (const { port, data: [status, note, velocity], ms } of sent) {
    paired &&= port === 'b' && (status === 0x90) !== sounding.has(note) &&
               (status === 0x90 || status === 0x80);
    if (status === 0x90) { sounding.set(note, ms); ons.push({ note, velocity }); }
    else { if (sounding.get(note) < ms - 2900) sounding.expired = (sounding.expired || 0) + 1;
           sounding.delete(note); }
  }
  const [slow, fast, again, last] = ons;
  check(paired && ons.length === 4 && sounding.size === 0 && again.note === slow.note &&
        sounding.expired === 2 && slow.velocity < fast.velocity && sent.at(-1).data[1] === last.note,
        `MIDI: note-on and note-off pairs on channel 1, a repluck and switching off end notes, ` +
        `the rest end after 3 s (${sent.map((m) => m.data.join(' ')).join(', ')})`);
  await page.close();
  page = await open('', standIn, context);
  await page.click('#midi');
  await page.waitForFunction(() => window.quorvel.messages.some((line) => line.includes('Synth')));
  await drag(page, 0.3, 0.7, 2);
  await page.evaluate(() => dispatchEvent(new PageTransitionEvent('pagehide')));
  const left = await page.evaluate(() => window.midiSent.map((message) => message.data[0]));
  check(await page.inputValue('#midi-port') === 'b' && left.join() === '144,128',
        `MIDI: the chosen output is remembered, and leaving the page ends its note (${left})`);
  await context.close();

  page = await open('', () => { delete Navigator.prototype.requestMIDIAccess; });
  await page.click('#midi');
  await page.click('#midi');
  await drag(page, 0.3, 0.7);
  const { plucks, messages } = await state(page);
  check(messages.filter((line) => line.startsWith('MIDI is off')).length === 1 && plucks.length === 1,
        `no Web MIDI: said once, and the page plays on (${messages.join(' | ')})`);
  await page.close();
}

// The camera, from chromium's fake camera: refused, it is said and the pointer still plays;
// allowed, its picture shows behind the strings, and v hides it.
{
  for (const allowed of [false, true]) {
    const context = await browser.newContext({ viewport: { width: kWidth, height: kHeight },
                                              permissions: allowed ? ['camera'] : [] });
    const page = await open('', null, context);
    const dark = await page.screenshot({ clip: { x: 0, y: 200, width: kWidth, height: 1 } });
    await page.click('#camera-button');
    await page.waitForFunction(() => window.quorvel.messages.length > 1);
    await page.waitForTimeout(500);
    const shown = await page.screenshot({ clip: { x: 0, y: 200, width: kWidth, height: 1 } });
    await page.keyboard.press('v');
    await page.waitForTimeout(300);
    const hidden = await page.screenshot({ clip: { x: 0, y: 200, width: kWidth, height: 1 } });
    await drag(page, 0.3, 0.7);
    const { plucks, messages } = await state(page);
    const sentence = messages.at(-1);
    if (!allowed) {
      check(sentence === 'camera: camera not allowed, the keys still play' && plucks.length === 1,
            `camera refused: said, and the pointer still plays (${messages.join(' | ')})`);
    } else {
      check(!shown.equals(dark) && hidden.equals(dark),
            `camera allowed: its picture behind the strings, v hides it (${sentence})`);
    }
    check(page.errors.length === 0, `no console error (${page.errors.join(' | ')})`);
    await context.close();
  }
}

// The demo for 10 s, with no underrun at the browser's output, from the sound's start on, and
// no block skipped as the sound starts (the click starts it: the worklet's start must not be
// heard as a gap).
{
  const page = await open();
  await page.click('#demo');
  await page.waitForTimeout(1000);
  const start = await state(page);
  await page.waitForTimeout(10000);
  const end = await state(page);
  check(end.plucks.length > start.plucks.length + 5 && end.underruns === 0 && start.skipped === 0,
        `10 s of demo: ${end.plucks.length - start.plucks.length} plucks, ` +
        `${end.underruns} underruns since the sound started (${start.underruns} in its first ` +
        `second); blocks skipped: ${start.skipped} in the first second, ${end.skipped} in all`);
  await page.close();
}

// Amazing Grace in the page against quorvel-render's WAV of the same take, at two rates.
for (const rate of [44100, 48000]) {
  const wav = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-web-')), 'grace.wav');
  execFileSync(render, [`--rate=${rate}`, '--float', path.join(examples, 'amazing-grace.jsonl'), wav],
               { stdio: 'ignore' });
  const reference = readWav(wav);
  const page = await open(`?rate=${rate}`);
  await page.evaluate(() => { window.quorvel.tapped = []; window.quorvel.tap(true); });
  await page.click('[data-example="amazing-grace"]');
  await page.waitForFunction(() => window.quorvel.replaying);
  await page.waitForFunction(() => !window.quorvel.replaying, null, { timeout: 60000 });
  // Every pluck sounded, and the last one's attack heard whole.
  await page.waitForFunction(() => window.quorvel.plucks.every((pluck) =>
      pluck.played >= 0 && pluck.played + 0.3 < window.quorvel.context.currentTime));
  const played = new Float32Array(Buffer.from(await page.evaluate(() => {
    window.quorvel.tap(false);
    const blocks = window.quorvel.tapped;
    const all = new Float32Array(blocks.reduce((sum, block) => sum + block.length, 0));
    let at = 0;
    for (const block of blocks) { all.set(block, at); at += block.length; }
    let text = '';
    const bytes = new Uint8Array(all.buffer);
    for (let i = 0; i < bytes.length; i += 8192)
      text += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return btoa(text);
  }), 'base64').buffer);
  const ours = onsets(played, rate), theirs = onsets(reference.samples, reference.rate);
  let worstOnset = 0, worstPitch = 0;
  for (let i = 0; i < Math.min(ours.length, theirs.length); ++i) {
    worstOnset = Math.max(worstOnset,
        Math.abs((ours[i] - ours[0]) / rate - (theirs[i] - theirs[0]) / reference.rate));
    worstPitch = Math.max(worstPitch, Math.abs(
        pitchRatio(played, rate, ours[i], reference.samples, reference.rate, theirs[i]) - 1));
  }
  const { plucks, skipped, latePlucks } = await state(page);
  const good = ours.length === theirs.length && theirs.length >= 10 && worstOnset <= 0.030 &&
               worstPitch <= 0.01;
  check(good, `Amazing Grace at ${rate} Hz: ${ours.length} notes heard, ${theirs.length} ` +
        `rendered; onsets within ${(worstOnset * 1000).toFixed(1)} ms, pitches within ` +
        `${(worstPitch * 100).toFixed(2)} %; ${latePlucks} plucks late, ${skipped} blocks skipped`);
  // What to chase when it fails: the onsets, and each pluck's frame time, due, sent and played.
  if (!good) console.log(JSON.stringify({ heard: ours, rendered: theirs, plucks }));
  check(page.errors.length === 0, `no console error (${page.errors.join(' | ')})`);
  await page.close();
}

await browser.close();
server.close();
process.exit(failures ? 1 : 0);
