// The camera: asked for only when the player chooses it (browsers ask the player too), shown
// mirrored and dimmed behind the strings, as the desktop window shows it. What it waits for is
// said in the desktop's own sentences (page_camera.cpp).

// Leap::CameraView::State, as page_camera.cpp checks them.
const State = { starting: 0, noModels: 1, noCamera: 2, lost: 7, refused: 10 };
const kWidth = 640, kHeight = 480; // what the hand models are fed on the desktop too

export class Camera {
  // `say` shows a line to the player; `button` starts and stops the camera; `video` shows it.
  constructor(instrument, say, button, video) {
    this.instrument = instrument;
    this.say = say;
    this.button = button;
    this.video = video;
    this.stream = null;
    this.state = -1;
    this.line = document.createElement('div');
    this.line.id = 'camera';
    document.getElementById('banner').append(this.line);
    button.addEventListener('click', () => (this.stream ? this.stop() : this.start()));
    // Every redraw: the key v hides and shows the picture, as on the desktop.
    const follow = () => {
      requestAnimationFrame(follow);
      video.classList.toggle('hidden', !this.stream || !instrument._quorvel_show_camera());
    };
    requestAnimationFrame(follow);
  }

  show(state) {
    if (state === this.state) return;
    this.state = state;
    const sentence = this.instrument.UTF8ToString(this.instrument._quorvel_camera_sentence(state, 0));
    this.line.textContent = sentence;
    this.say(`camera: ${sentence}`);
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
    this.stream = stream;
    this.button.textContent = 'camera on';
    const [track] = stream.getVideoTracks();
    track.addEventListener('ended', () => { if (this.stream === stream) this.show(State.lost); });
    this.video.srcObject = stream;
    await this.video.play().catch(() => {});
    // The page has no hand models yet: the picture shows, the keys and the pointer play.
    this.show(State.noModels);
  }

  stop() {
    for (const track of this.stream.getTracks()) track.stop();
    this.stream = null;
    this.video.srcObject = null;
    this.button.textContent = 'camera';
    this.state = -1;
    this.line.textContent = '';
  }
}
