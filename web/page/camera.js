// The camera: asked for only when the player chooses it (browsers ask the player too), shown
// mirrored and dimmed behind the strings, placed as the desktop window places it, so that each
// fingertip's sphere sits on the hand. Hands are tracked by the desktop's pipeline in a worker
// (hands.js): it gets the newest image only when it has answered the last, so a slow machine
// tracks fewer images a second and never holds up the picture or the sound. What the camera
// waits for is said in the desktop's own sentences (page_camera.cpp).

// Leap::CameraView::State, as page_camera.cpp checks them.
const State = { starting: 0, noModels: 1, noCamera: 2, noHand: 3, lost: 7, failed: 9, refused: 10 };
const kWidth = 640, kHeight = 480; // what the hand models are fed on the desktop too
const kLandmarks = 21;

export class Camera {
  // `say` shows a line to the player; `button` starts and stops the camera; `video` shows it.
  constructor(instrument, say, button, video) {
    this.instrument = instrument;
    this.say = say;
    this.button = button;
    this.video = video;
    this.stream = null;
    this.state = -1;
    this.sentence = '';
    this.worker = null;
    this.loading = null;   // resolves true once the tracker is ready, false if it cannot be
    this.busy = false;     // an image is with the worker
    this.recalibrate = false;
    this.hands = [];       // the last image's landmarks, (across, down) of the image
    this.tracked = [];     // performance.now() of the images tracked in the last second
    this.trackedAt = [];   // and of every image tracked (measure-camera.mjs, the test)
    this.trackedMs = [];   // the worker's milliseconds for each image (measure-camera.mjs)
    this.paused = () => false; // the page's other sources own the fingertips while they play
    this.tips = instrument._malloc(8 * 5 * 10);
    this.style = Camera.styleOf(instrument);
    this.line = document.createElement('div');
    this.line.id = 'camera';
    document.getElementById('banner').append(this.line);
    button.addEventListener('click', () => (this.stream ? this.stop() : this.start()));
    document.addEventListener('keydown', (event) => {
      if (event.key === 'c' && !event.ctrlKey && !event.metaKey && !event.altKey)
        this.recalibrate = true;
    });
    // Every redraw: the key v hides and shows the picture, as on the desktop.
    const follow = () => {
      requestAnimationFrame(follow);
      video.classList.toggle('hidden', !this.stream || !this.shown());
    };
    requestAnimationFrame(follow);
    this.place();
  }

  // How the hands are drawn, as the desktop draws them (page_camera.cpp, quorvel_hand_style).
  static styleOf(instrument) {
    const at = instrument._quorvel_hand_style() >> 2;
    const values = instrument.HEAPF32;
    const pairs = values[at + 17];
    const bones = [];
    for (let b = 0, v = at + 18; b < pairs; ++b, v += 2) bones.push([values[v], values[v + 1]]);
    return { hand: Array.from(values.subarray(at, at + 4)),
             pluckingTip: Array.from(values.subarray(at + 4, at + 8)), ring: values[at + 8],
             ringSegments: values[at + 9], boneWidth: values[at + 10],
             landmarkSize: values[at + 11], tips: Array.from(values.subarray(at + 12, at + 17)),
             bones };
  }

  shown() {
    return this.instrument._quorvel_show_camera() === 1;
  }

  // The picture where the desktop draws it: the part of the image the fingertips are mapped
  // from fills the window.
  place() {
    const corner = (across, down, y) => this.instrument._quorvel_camera_corner(across, down, y);
    this.corners = { x0: corner(0, 0, 0), y0: corner(0, 0, 1), x1: corner(1, 1, 0), y1: corner(1, 1, 1) };
    const { x0, y0, x1, y1 } = this.corners;
    Object.assign(this.video.style, {
      left: `${100 * Math.min(x0, x1)}%`, width: `${100 * Math.abs(x1 - x0)}%`,
      top: `${100 * (1 - Math.max(y0, y1))}%`, height: `${100 * Math.abs(y1 - y0)}%`,
      objectFit: 'fill' });
  }

  // The hands' landmarks in window units (x right, y up) for the scene; none while hidden.
  handsInWindow() {
    if (!this.stream || !this.shown()) return [];
    const { x0, y0, x1, y1 } = this.corners;
    return this.hands.map((points) => points.map(([across, down]) =>
        [x0 + (x1 - x0) * across, y0 + (y1 - y0) * down]));
  }

  show(state, tenthsLeft = 0) {
    const sentence = this.instrument.UTF8ToString(
        this.instrument._quorvel_camera_sentence(state, tenthsLeft));
    this.state = state;
    if (sentence !== this.sentence) {
      this.sentence = sentence;
      this.say(`camera: ${sentence}`);
    }
    this.showLine();
  }

  showLine(extra) {
    const rate = this.stream && this.tracked.length ? `; tracking ${this.rate()} images a second` : '';
    this.line.textContent = extra || this.sentence + rate;
  }

  rate() {
    const now = performance.now();
    this.tracked = this.tracked.filter((at) => now - at < 1000);
    return this.tracked.length;
  }

  // Starts the worker and its download once; true when it tracks.
  load() {
    if (this.loading) return this.loading;
    const started = performance.now();
    this.worker = new Worker(new URL('hands.js', import.meta.url), { type: 'module' });
    this.loading = new Promise((resolve) => {
      this.worker.onmessage = ({ data }) => {
        switch (data.kind) {
          case 'progress':
            if (this.stream) this.showLine(
                `loading the hand models: ${(data.loaded / 1e6).toFixed(1)}` +
                (data.total ? ` of ${(data.total / 1e6).toFixed(1)} MB` : ' MB'));
            break;
          case 'ready':
            this.loadedMs = performance.now() - started;
            resolve(true);
            break;
          case 'failed':
            // Models not served with the page, or the runtime cannot start: as the desktop
            // without models. Failing on an image: as the desktop's failed tracking.
            this.say(`hand tracking: ${data.why}`);
            this.busy = true; // nothing more goes to it
            this.failedState = data.starting ? State.noModels : State.failed;
            if (this.stream) this.show(this.failedState);
            resolve(false);
            break;
          case 'tracked':
            this.tracked_(data);
            break;
        }
      };
      this.worker.onerror = (event) => this.worker.onmessage(
          { data: { kind: 'failed', why: event.message || 'the worker stopped', starting: true } });
    });
    this.worker.postMessage({ kind: 'start' });
    return this.loading;
  }

  // The newest image goes to the worker, only when it has answered the last one.
  async next() {
    if (!this.stream || this.busy || this.video.readyState < 2) return;
    this.busy = true;
    const micros = performance.now() * 1000;
    let bitmap;
    try {
      bitmap = await createImageBitmap(this.video);
    } catch {
      this.busy = false;
      return;
    }
    this.worker.postMessage({ kind: 'image', bitmap, micros, recalibrate: this.recalibrate },
                            [bitmap]);
    this.recalibrate = false;
  }

  tracked_({ values, ms, micros }) {
    this.busy = false;
    if (!this.stream) return;
    this.tracked.push(performance.now());
    this.trackedAt.push(performance.now());
    this.trackedMs.push(ms);
    const [state, tenths, tips, hands, frameId] = values;
    const heap = new Float64Array(this.instrument.HEAPF64.buffer, this.tips, 5 * 10);
    heap.set(values.subarray(5, 5 + 5 * tips));
    if (!this.paused())
      this.instrument._quorvel_camera_frame(tips, this.tips, micros, frameId);
    this.hands = [];
    for (let h = 0, at = 5 + 5 * tips; h < hands; ++h, at += 2 * kLandmarks) {
      const points = [];
      for (let p = 0; p < kLandmarks; ++p) points.push([values[at + 2 * p], values[at + 2 * p + 1]]);
      this.hands.push(points);
    }
    this.show(state, tenths);
    this.next();
  }

  async start() {
    this.show(State.starting);
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
      this.show(State.noCamera); // an insecure page (not HTTPS, not localhost) has none
      return;
    }
    let stream;
    try {
      stream = await navigator.mediaDevices.getUserMedia(
          { video: { width: { ideal: kWidth }, height: { ideal: kHeight } }, audio: false });
    } catch (error) {
      this.show(error.name === 'NotAllowedError' || error.name === 'SecurityError'
                ? State.refused : State.noCamera);
      return;
    }
    // Only now: a refused camera downloads nothing.
    const loaded = this.load();
    this.stream = stream;
    this.startedAt = performance.now();
    this.button.textContent = 'camera on';
    const [track] = stream.getVideoTracks();
    track.addEventListener('ended', () => { if (this.stream === stream) this.show(State.lost); });
    this.video.srcObject = stream;
    await this.video.play().catch(() => {});
    if (!(await loaded)) {
      this.show(this.failedState);
      return;
    }
    if (this.stream !== stream) return;
    this.show(State.noHand); // as the desktop says once its camera sends images
    // Each new image of the video offers itself; the worker takes it only when idle.
    const offer = () => {
      if (this.stream !== stream) return;
      this.next();
      if (this.video.requestVideoFrameCallback) this.video.requestVideoFrameCallback(offer);
      else requestAnimationFrame(offer);
    };
    offer();
  }

  stop() {
    for (const track of this.stream.getTracks()) track.stop();
    this.stream = null;
    this.video.srcObject = null;
    this.button.textContent = 'camera';
    this.state = -1;
    this.sentence = '';
    this.hands = [];
    this.line.textContent = '';
  }
}
