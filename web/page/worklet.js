// The sound engine in the browser's audio thread: the engine's wasm (worklet_engine.cpp), its
// bytes handed over in processorOptions. Plucks and string counts arrive as port messages and
// are written into the engine's fixed queue between blocks; process() only renders.

// A standalone module still imports a few system calls; none does anything here. fd_write
// reports everything written so that the C library never retries, and counts it: the engine
// prints nothing (its note lines are the page's), and a byte written would be work in the pass.
function systemStubs(module, memory, wrote) {
  const imports = {};
  for (const entry of WebAssembly.Module.imports(module)) {
    if (entry.kind !== 'function') continue;
    imports[entry.module] = imports[entry.module] || {};
    let stub = () => 0;
    if (entry.name === 'fd_write') {
      stub = (fd, iovs, count, written) => {
        const view = new DataView(memory().buffer);
        let total = 0;
        for (let i = 0; i < count; ++i) total += view.getUint32(iovs + 8 * i + 4, true);
        view.setUint32(written, total, true);
        wrote(total);
        return 0;
      };
    } else if (entry.name === 'environ_sizes_get' || entry.name === 'args_sizes_get') {
      stub = (count, size) => {
        const view = new DataView(memory().buffer);
        view.setUint32(count, 0, true);
        view.setUint32(size, 0, true);
        return 0;
      };
    } else if (entry.name === 'proc_exit') {
      stub = (code) => { throw new Error('engine exited with ' + code); };
    }
    imports[entry.module][entry.name] = stub;
  }
  return imports;
}

const kBurstLength = 512;
const kWaveformPairs = 256;
const kMaxStrings = 30;

class HarpProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const module = new WebAssembly.Module(options.processorOptions.engine);
    let instance = null;
    this.written = 0;  // bytes the engine wrote to its standard output or error
    instance = new WebAssembly.Instance(module,
        systemStubs(module, () => instance.exports.memory, (bytes) => { this.written += bytes; }));
    this.engine = instance.exports;
    if (this.engine._initialize) this.engine._initialize();
    this.engine.quorvel_start(sampleRate);
    // The module's memory never grows, so views made once stay valid.
    this.pairs = new Float32Array(this.engine.memory.buffer, this.engine.quorvel_waveforms(),
                                  kMaxStrings * kWaveformPairs);
    this.counts = new Int32Array(this.engine.memory.buffer, this.engine.quorvel_waveform_counts(),
                                 kMaxStrings);
    this.blocks = 0;
    this.blockFrames = 0;
    this.nextFrame = -1;   // where the block after the last one starts, by the worklet's count
    this.skipped = 0;      // blocks the browser never asked for: heard as gaps
    this.sounded = false;  // the first block that was not silence has been told
    this.views = null;     // the engine's output as views, made once per block length
    this.tap = false;      // posting every block to the page (the tests' ear)
    this.tapSession = 0;   // which turn of the tap the blocks belong to
    this.port.onmessage = (event) => this.receive(event.data);
    this.port.postMessage({ kind: 'ready', rate: sampleRate });
  }

  receive(message) {
    const engine = this.engine;
    switch (message.kind) {
      case 'pluck': {
        new Float32Array(engine.memory.buffer, engine.quorvel_burst(), kBurstLength)
            .set(message.burst);
        const at = message.at > 0 ? message.at * sampleRate : 0;
        engine.quorvel_pluck(message.string, message.pitch, message.velocity, at);
        // When it sounds: the block after this message at the soonest (late when past its time).
        const next = this.nextFrame >= 0 ? this.nextFrame : currentFrame;
        this.port.postMessage({ kind: 'played', id: message.id,
                                at: Math.max(at, next) / sampleRate });
        break;
      }
      case 'strings':
        engine.quorvel_strings(message.count);
        break;
      case 'voice':
        engine.quorvel_voice(message.voice);
        break;
      case 'waveforms': {
        // Into the page's own arrays, sent back and forth: this thread makes no garbage for them.
        const { pairs, counts } = message;
        engine.quorvel_waveforms();
        pairs.set(this.pairs);
        counts.set(this.counts);
        this.port.postMessage({
          kind: 'waveforms', pairs, counts,
          dropped: engine.quorvel_dropped(), blocks: this.blocks, blockFrames: this.blockFrames,
          skipped: this.skipped, written: this.written,
        }, [pairs.buffer, counts.buffer]);
        break;
      }
      case 'tap':
        this.tap = message.on;
        this.tapSession = message.session;
        break;
      case 'bench': {
        // The engine alone: every string plucked, then `blocks` blocks of 128 frames, timed here.
        const burst = new Float32Array(engine.memory.buffer, engine.quorvel_burst(), kBurstLength);
        for (let string = 0; string < message.strings; ++string) {
          burst.forEach((_, i) => { burst[i] = 1 - Math.abs(2 * i / kBurstLength - 1); });
          engine.quorvel_pluck(string, 32 + 2 * string, 127, 0);
        }
        const started = Date.now();
        for (let i = 0; i < message.blocks; ++i) engine.quorvel_render(128, 0);
        this.port.postMessage({ kind: 'bench', ms: Date.now() - started,
                                heapBytes: engine.quorvel_heap_used(),
                                memoryBytes: engine.memory.buffer.byteLength });
        break;
      }
    }
  }

  process(inputs, outputs) {
    const output = outputs[0];
    const frames = output[0].length;
    this.blockFrames = frames;
    ++this.blocks;
    // Where this block starts. Chromium renders blocks in bursts when its audio thread wakes
    // late, and within one burst currentFrame can repeat the burst's first frame: trusted, the
    // plucks due in the burst's later blocks would sound a block or more late. So the frames
    // are counted here, and currentFrame is followed only when it runs ahead: blocks skipped.
    let frame = this.nextFrame;
    if (frame < 0 || currentFrame > frame) {
      if (frame >= 0) this.skipped += Math.ceil((currentFrame - frame) / frames);
      frame = currentFrame;
    }
    this.nextFrame = frame + frames;
    const engine = this.engine;
    const pointer = engine.quorvel_render(frames, frame);
    if (!this.views || this.views[0].length !== frames)
      this.views = [new Float32Array(engine.memory.buffer, pointer, frames),
                    new Float32Array(engine.memory.buffer, pointer + 4 * frames, frames)];
    for (let channel = 0; channel < output.length; ++channel)
      output[channel].set(this.views[channel & 1]);
    if (!this.sounded && this.views[0].some((sample) => sample !== 0)) {
      this.sounded = true;
      this.port.postMessage({ kind: 'sounding' });
    }
    if (this.tap) this.port.postMessage({ kind: 'block', session: this.tapSession,
                                          samples: output[0].slice() });
    return true;
  }
}

registerProcessor('quorvel-harp', HarpProcessor);
