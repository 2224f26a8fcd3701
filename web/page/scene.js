// The picture, drawn with WebGL as the desktop window draws it with GL: the strings as their
// live waveforms (tonic strings pink), the fingertips as shaded discs (the spheres seen from the
// front), on black. Coordinates are normalised window units, x 0..1 left to right, y 0..1 up.

const kLineWidth = 2;           // CSS pixels, as the desktop's glLineWidth(2)
const kFingertipRadius = 0.025; // normalised window units, before the aspect correction
const kDiscSegments = 48;
const kVertexShader = `
attribute vec2 position;
attribute vec2 local;
varying vec2 vLocal;
void main() {
  vLocal = local;
  gl_Position = vec4(position * 2.0 - 1.0, 0.0, 1.0);
}`;
// Lines pass local (0, 0); a disc passes its unit-circle point, shaded as a lit sphere.
const kFragmentShader = `
precision mediump float;
uniform vec4 color;
uniform float sphere;
varying vec2 vLocal;
void main() {
  float shade = 1.0;
  if (sphere > 0.5) {
    float z = sqrt(max(0.0, 1.0 - dot(vLocal, vLocal)));
    shade = 0.35 + 0.65 * max(0.0, dot(normalize(vec3(0.3, 0.24, 1.0)), vec3(vLocal, z)));
  }
  gl_FragColor = vec4(color.rgb * shade, min(color.a, 1.0));
}`;

export class Scene {
  constructor(canvas) {
    this.canvas = canvas;
    const gl = canvas.getContext('webgl', { antialias: true, preserveDrawingBuffer: true });
    if (!gl) throw new Error('this browser draws no WebGL');
    this.gl = gl;
    const program = gl.createProgram();
    for (const [type, source] of [[gl.VERTEX_SHADER, kVertexShader],
                                  [gl.FRAGMENT_SHADER, kFragmentShader]]) {
      const shader = gl.createShader(type);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS))
        throw new Error(gl.getShaderInfoLog(shader));
      gl.attachShader(program, shader);
    }
    gl.linkProgram(program);
    gl.useProgram(program);
    this.position = gl.getAttribLocation(program, 'position');
    this.local = gl.getAttribLocation(program, 'local');
    this.color = gl.getUniformLocation(program, 'color');
    this.sphere = gl.getUniformLocation(program, 'sphere');
    this.buffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
    gl.enableVertexAttribArray(this.position);
    gl.enableVertexAttribArray(this.local);
    gl.vertexAttribPointer(this.position, 2, gl.FLOAT, false, 16, 0);
    gl.vertexAttribPointer(this.local, 2, gl.FLOAT, false, 16, 8);
    gl.enable(gl.BLEND);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    this.vertices = new Float32Array(4 * 2 * 1024);
  }

  // Matches the drawing buffer to the canvas's size on screen, in device pixels.
  fit() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
    this.gl.viewport(0, 0, width, height);
    this.ratio = ratio;
    return { width, height };
  }

  draw(vertexCount, mode, color, sphere) {
    const gl = this.gl;
    gl.bufferData(gl.ARRAY_BUFFER, this.vertices.subarray(0, 4 * vertexCount), gl.STREAM_DRAW);
    gl.uniform4f(this.color, color[0], color[1], color[2], color[3]);
    gl.uniform1f(this.sphere, sphere ? 1 : 0);
    gl.drawArrays(mode, 0, vertexCount);
  }

  // A line through points (x, y) as a strip of quads kLineWidth pixels wide.
  line(points, color) {
    const count = points.length / 2;
    if (count > 1023) return;
    const halfX = kLineWidth * this.ratio / 2 / this.canvas.width;
    let n = 0;
    for (let i = 0; i < count; ++i) {
      const x = points[2 * i], y = points[2 * i + 1];
      this.vertices.set([x - halfX, y, 0, 0, x + halfX, y, 0, 0], 8 * i);
      n += 2;
    }
    this.draw(n, this.gl.TRIANGLE_STRIP, color, false);
  }

  // Straight segments ((x0, y0), (x1, y1) pairs) `width` CSS pixels wide.
  segments(pairs, color, width) {
    const w = this.canvas.width, h = this.canvas.height;
    const half = width * this.ratio / 2;
    let n = 0;
    for (const [[x0, y0], [x1, y1]] of pairs) {
      if (n + 6 > this.vertices.length / 4) break;
      const dx = (x1 - x0) * w, dy = (y1 - y0) * h;
      const length = Math.hypot(dx, dy) || 1;
      const nx = -dy / length * half / w, ny = dx / length * half / h;
      for (const [x, y] of [[x0 + nx, y0 + ny], [x0 - nx, y0 - ny], [x1 + nx, y1 + ny],
                            [x1 + nx, y1 + ny], [x0 - nx, y0 - ny], [x1 - nx, y1 - ny]])
        this.vertices.set([x, y, 0, 0], 4 * n++);
    }
    this.draw(n, this.gl.TRIANGLES, color, false);
  }

  // Each hand: its 21 landmarks (x, y) in window units, drawn in `style` (Camera.styleOf, the
  // desktop window's): bones and landmarks, a ring round each fingertip.
  hands(hands, style) {
    const w = this.canvas.width, h = this.canvas.height;
    const ringX = style.ring * kFingertipRadius;
    const ringY = ringX * w / Math.max(h, 1); // round in pixels, as the spheres are
    for (const points of hands) {
      this.segments(style.bones.map(([a, b]) => [points[a], points[b]]), style.hand,
                    style.boneWidth);
      const dot = style.landmarkSize * this.ratio / 2;
      for (const [x, y] of points) this.disc(x, y, dot / w, dot / h, style.hand);
      const rings = [];
      for (const tip of style.tips) {
        const [x, y] = points[tip];
        for (let i = 0; i < style.ringSegments; ++i) {
          const a = 2 * Math.PI * i / style.ringSegments;
          const b = 2 * Math.PI * (i + 1) / style.ringSegments;
          rings.push([[x + ringX * Math.cos(a), y + ringY * Math.sin(a)],
                      [x + ringX * Math.cos(b), y + ringY * Math.sin(b)]]);
        }
      }
      this.segments(rings, style.pluckingTip, style.boneWidth);
    }
  }

  disc(x, y, radiusX, radiusY, color) {
    this.vertices.set([x, y, 0, 0], 0);
    for (let i = 0; i <= kDiscSegments; ++i) {
      const angle = 2 * Math.PI * i / kDiscSegments;
      const c = Math.cos(angle), s = Math.sin(angle);
      this.vertices.set([x + radiusX * c, y + radiusY * s, c, s], 4 * (i + 1));
    }
    this.draw(kDiscSegments + 2, this.gl.TRIANGLE_FAN, color, true);
  }

  // scene: the instrument's floats (page_main.cpp, quorvel_scene); waveforms: per string the
  // newest signed peaks, oldest first; hands: the camera's (Camera.handsInWindow), if any, drawn
  // in handStyle (Camera.styleOf).
  render(scene, waveforms, hands = [], handStyle = null) {
    const gl = this.gl;
    gl.clearColor(0, 0, 0, 0); // the camera's picture shows through; the page is black
    gl.clear(gl.COLOR_BUFFER_BIT);
    if (hands.length) this.hands(hands, handStyle);
    const strings = scene[0], fingers = scene[1], swing = scene[2];
    let at = 4;
    for (let s = 0; s < strings; ++s, at += 5) {
      const restX = scene[at];
      const color = scene.subarray(at + 1, at + 5);
      const peaks = waveforms[s];
      let points;
      if (peaks && peaks.length > 1) {
        points = new Float32Array(2 * peaks.length);
        for (let i = 0; i < peaks.length; ++i) {
          points[2 * i] = restX + peaks[i] * swing;
          points[2 * i + 1] = i / peaks.length;
        }
      } else {
        points = new Float32Array([restX, 0, restX, 1]);
      }
      this.line(points, color);
    }
    for (let f = 0; f < fingers; ++f, at += 13) {
      const x = scene[at], y = scene[at + 1];
      const aspectX = scene[at + 2], aspectY = scene[at + 3];
      const inner = scene[at + 12];
      this.disc(x, y, kFingertipRadius * aspectX, kFingertipRadius * aspectY,
                scene.subarray(at + 4, at + 8));
      this.disc(x, y, kFingertipRadius * aspectX * inner, kFingertipRadius * aspectY * inner,
                scene.subarray(at + 8, at + 12));
    }
  }
}
