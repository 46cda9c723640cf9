// The page's WebGL2 engine: the frame drawn by two shader passes in 32-bit
// integer arithmetic, equal to the module's renderer bit for bit. The first
// pass writes the grid samples' shades into an R8UI texture at grid size,
// the second fills the pixels between them and looks up the palette at the
// canvas's size. The tables are integer textures read with texelFetch.
'use strict';

// Resolves to the engine on canvas, whose drawing buffer the frames go to. tables
// holds the module's tables: perm (Int32Array, 515 entries), grad (Int32Array,
// 515 x, y, z triples), sine (Int32Array, 1024) and palette (Uint8Array, 256
// entries of bytes blue, green, red, 0). Before returning it draws the base
// frame at a few moments and reads it back; reference(t) gives the module's
// own 320 x 200 frame there (0x00RRGGBB, row 0 at the bottom). preserve keeps
// the drawn frame readable (toDataURL) after it is shown; onLost is called
// once the context is lost. Rejects with an Error saying why when WebGL2
// cannot draw the frames exactly here.
//   engine.draw(t, width, height): draws time value t into the drawing
//     buffer, which must be width x height; false when it cannot (the
//     context is lost, or the size is not one this GPU draws).
//   engine.fence(), engine.done(): done() is true once the frames drawn
//     before the last fence() are finished (or when there is no fence).
//   engine.lost: true once the context is lost (and onLost called, or about to be).
async function createGpuEngine(canvas, tables, {reference, preserve = false, onLost = () => {}}) {
  const kBaseWidth = 320, kBaseHeight = 200;
  const kCheckWaitMs = 10000;  // the self-check's frames are read back within this, or WebGL2 is not used
  const kCheckTimes = [999, 2147483647, 4294967295];  // one moment each for z > 0, z doubling past 2^31, z < 0
  const gl = canvas.getContext('webgl2', {alpha: false, antialias: false, depth: false, stencil: false,
                                          preserveDrawingBuffer: preserve});
  if (!gl) throw new Error('no WebGL2 context');
  const highInt = gl.getShaderPrecisionFormat(gl.FRAGMENT_SHADER, gl.HIGH_INT);
  if (!highInt || highInt.rangeMin < 31 || highInt.rangeMax < 30) throw new Error('highp int has fewer than 32 bits');

  // Covers the viewport with one triangle: (-1, -1), (3, -1), (-1, 3).
  const vertexShader = `#version 300 es
void main() {
  gl_Position = vec4(float((gl_VertexID & 1) << 2) - 1.0, float((gl_VertexID & 2) << 1) - 1.0, 0.0, 1.0);
}`;

  // One fragment per grid sample (i, j): its shade 0..254, as noise/noise.cpp
  // and render/shading.h define it. Every value is a 32-bit int that wraps as
  // in C++'s unsigned arithmetic; >> on int propagates the sign.
  const sampleShader = `#version 300 es
precision highp float;
precision highp int;
precision highp isampler2D;
uniform isampler2D perm;  // 515 x 1: PermTable
uniform isampler2D grad;  // 515 x 1: GradTable x, y, z
uniform isampler2D sine;  // 1024 x 1: SineTable
uniform uint scaleP;      // the cover scale p / q
uniform uint scaleQ;
uniform int time;         // the time value's 32 bits, used as the z coordinate
layout(location = 0) out uvec4 shade;

// floor(step n q / p): at most 32 x 8193 x 320 before the division, exact in uint.
int scaled(int n, uint step) { return int(step * uint(n) * scaleQ / scaleP); }

struct Axis {
  int b0, b1;  // lower and upper cell index, 0..255
  int r0, r1;  // offsets from the lower (0..1023) and upper (-1024..-1) corner
  int s;       // cubic fade 3t^2 - 2t^3 in 1/1024 units, 0..1023
};

Axis decompose(int v) {
  Axis a;
  a.b0 = (v >> 10) & 255;
  a.b1 = (a.b0 + 1) & 255;
  a.r0 = v & 1023;
  a.r1 = a.r0 - 1024;
  a.s = ((3072 - 2 * a.r0) * a.r0 * a.r0) >> 20;
  return a;
}

int permuted(int k) { return texelFetch(perm, ivec2(k, 0), 0).r; }

// Gradient k dotted with the offset (a, b, c), in 1/2^20 units: |result| < 2^21.
int dotGradient(int k, int a, int b, int c) {
  ivec3 g = texelFetch(grad, ivec2(k, 0), 0).xyz;
  return g.x * a + g.y * b + g.z * c;
}

// u * (1024 - s) + v * s, unshifted. (v - u) * s may wrap, but every finished
// blend fits in 32 bits, so the wrapped sum is the exact one.
int blend(int u, int v, int s) { return u * 1024 + (v - u) * s; }

int noise3(int x, int y, int z) {
  Axis ax = decompose(x), ay = decompose(y), az = decompose(z);
  int hx0 = permuted(ax.b0), hx1 = permuted(ax.b1);
  int b00 = permuted(hx0 + ay.b0), b10 = permuted(hx1 + ay.b0);
  int b01 = permuted(hx0 + ay.b1), b11 = permuted(hx1 + ay.b1);
  int layer[2];
  for (int k = 0; k < 2; ++k) {
    int bz = k == 0 ? az.b0 : az.b1, rz = k == 0 ? az.r0 : az.r1;
    // x blends on both y rows, back to 1/1024 units; the y blend left unshifted.
    int a = blend(dotGradient(b00 + bz, ax.r0, ay.r0, rz), dotGradient(b10 + bz, ax.r1, ay.r0, rz), ax.s) >> 20;
    int b = blend(dotGradient(b01 + bz, ax.r0, ay.r1, rz), dotGradient(b11 + bz, ax.r1, ay.r1, rz), ax.s) >> 20;
    layer[k] = blend(a, b, ay.s);
  }
  return blend(layer[0], layer[1], az.s) >> 20;
}

// n / 2^k truncating toward zero, written out: GLSL leaves / undefined for
// negative operands. |n| is far below 2^31, so -n does not wrap.
int truncatingHalves(int n, int k) { return n < 0 ? -((-n) >> k) : n >> k; }

// |sum of noise3(2^k p) / 2^k| over 4 octaves; the coordinates double with wrap-around.
int turbulence(int x, int y, int z) {
  int sum = 0;
  for (int k = 0; k < 4; ++k) {
    sum += truncatingHalves(noise3(x, y, z), k);
    x *= 2;
    y *= 2;
    z *= 2;
  }
  return abs(sum);
}

int sineAt(int index) { return texelFetch(sine, ivec2(index & 1023, 0), 0).r; }

void main() {
  // The fragment's centre is (i + 0.5, j + 0.5); i and j are below 2^14, exact in float.
  ivec2 ij = ivec2(gl_FragCoord.xy);
  int m = turbulence(scaled(ij.x, 32u), scaled(ij.y, 32u), time) >> 3;  // turbulence >= 0: >> 3 is / 8
  int a = sineAt(scaled(ij.y, 7u) + m - 120);
  int b = sineAt(scaled(ij.x, 4u) + m - 80);
  shade = uvec4(uint(abs(a * b) >> 8), 0u, 0u, 0u);
}`;

  // One fragment per pixel (c, r), row 0 at the bottom as in the drawing
  // buffer: even rows fill between grid samples along the row, odd rows
  // average the even rows above and below, truncating; then the palette.
  const fillShader = `#version 300 es
precision highp float;
precision highp int;
precision highp usampler2D;
uniform usampler2D grid;    // the grid's shades
uniform sampler2D palette;  // 256 x 1 RGBA8: bytes blue, green, red, 0 of each entry
out vec4 colour;

uint sampled(int i, int j) { return texelFetch(grid, ivec2(i, j), 0).r; }

uint evenRow(int c, int j) {
  int k = c >> 1;
  return (c & 1) != 0 ? (sampled(k, j) + sampled(k + 1, j)) >> 1 : sampled(k, j);
}

void main() {
  ivec2 cr = ivec2(gl_FragCoord.xy);
  int j = cr.y >> 1;
  uint shade = (cr.y & 1) != 0 ? (evenRow(cr.x, j) + evenRow(cr.x, j + 1)) >> 1 : evenRow(cr.x, j);
  // The palette's bytes pass through the normalised format unchanged.
  colour = vec4(texelFetch(palette, ivec2(shade, 0), 0).bgr, 1.0);
}`;

  function compile(type, source) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    return shader;
  }

  // Links the two shaders; samplers names sampler uniforms and their texture units.
  function program(fragmentSource, samplers) {
    const vertex = compile(gl.VERTEX_SHADER, vertexShader), fragment = compile(gl.FRAGMENT_SHADER, fragmentSource);
    const linked = gl.createProgram();
    gl.attachShader(linked, vertex);
    gl.attachShader(linked, fragment);
    gl.linkProgram(linked);
    if (!gl.getProgramParameter(linked, gl.LINK_STATUS)) {
      throw new Error(`shaders: ${gl.getShaderInfoLog(fragment) || gl.getProgramInfoLog(linked)}`.trim());
    }
    gl.useProgram(linked);
    for (const [name, unit] of Object.entries(samplers)) gl.uniform1i(gl.getUniformLocation(linked, name), unit);
    return linked;
  }

  // A width x height texture on unit, nearest texels, no mipmaps (integer textures need both).
  function texture(unit, internalFormat, width, height, format, type, data) {
    const made = gl.createTexture();
    gl.activeTexture(gl.TEXTURE0 + unit);
    gl.bindTexture(gl.TEXTURE_2D, made);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
    gl.texImage2D(gl.TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
    return made;
  }

  function framebuffer(target) {
    const made = gl.createFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, made);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, target, 0);
    return made;
  }

  // Texture units: the tables on 0..2 (sampling pass) and 4 (fill pass), the
  // grid on 3 (written by one pass, read by the other), anything else on 5.
  const kGridUnit = 3, kSpareUnit = 5;
  const sampling = program(sampleShader, {perm: 0, grad: 1, sine: 2});
  const samplingScale = [gl.getUniformLocation(sampling, 'scaleP'), gl.getUniformLocation(sampling, 'scaleQ')];
  const samplingTime = gl.getUniformLocation(sampling, 'time');
  const filling = program(fillShader, {grid: kGridUnit, palette: 4});
  texture(0, gl.R32I, tables.perm.length, 1, gl.RED_INTEGER, gl.INT, tables.perm);
  texture(1, gl.RGB32I, tables.grad.length / 3, 1, gl.RGB_INTEGER, gl.INT, tables.grad);
  texture(2, gl.R32I, tables.sine.length, 1, gl.RED_INTEGER, gl.INT, tables.sine);
  texture(4, gl.RGBA8, tables.palette.length / 4, 1, gl.RGBA, gl.UNSIGNED_BYTE, tables.palette);
  const maxSide = Math.min(gl.getParameter(gl.MAX_TEXTURE_SIZE), ...gl.getParameter(gl.MAX_VIEWPORT_DIMS));

  let grid = null;  // {texture, framebuffer, columns, rows}

  // The grid texture and its framebuffer for columns x rows samples.
  function prepareGrid(columns, rows) {
    if (grid && grid.columns === columns && grid.rows === rows) return;
    if (grid) {
      gl.deleteFramebuffer(grid.framebuffer);
      gl.deleteTexture(grid.texture);
    }
    const made = texture(kGridUnit, gl.R8UI, columns, rows, gl.RED_INTEGER, gl.UNSIGNED_BYTE, null);
    grid = {texture: made, framebuffer: framebuffer(made), columns, rows};
  }

  // Both passes for time value t at width x height into target (null: the canvas).
  function drawInto(target, t, width, height) {
    // The cover scale p / q = max(width / 320, height / 200) and the grid it samples.
    const [p, q] = width * kBaseHeight >= height * kBaseWidth ? [width, kBaseWidth] : [height, kBaseHeight];
    const columns = (width >> 1) + 1, rows = (height >> 1) + 1;
    if (width > maxSide || height > maxSide || columns > maxSide || rows > maxSide) return false;
    prepareGrid(columns, rows);
    gl.bindFramebuffer(gl.FRAMEBUFFER, grid.framebuffer);
    gl.viewport(0, 0, columns, rows);
    gl.useProgram(sampling);
    gl.uniform1ui(samplingScale[0], p);
    gl.uniform1ui(samplingScale[1], q);
    gl.uniform1i(samplingTime, t | 0);  // the time value's bits as a signed int
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    gl.bindFramebuffer(gl.FRAMEBUFFER, target);
    gl.viewport(0, 0, width, height);
    gl.useProgram(filling);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    return true;
  }

  // The base frame at each of kCheckTimes, read back as RGBA bytes, bottom
  // row first. Waits on a fence without blocking, so the GPU is never stalled.
  async function checkFrames() {
    const target = texture(kSpareUnit, gl.RGBA8, kBaseWidth, kBaseHeight, gl.RGBA, gl.UNSIGNED_BYTE, null);
    const checkFramebuffer = framebuffer(target);
    const frameBytes = kBaseWidth * kBaseHeight * 4;
    const pixels = gl.createBuffer();
    gl.bindBuffer(gl.PIXEL_PACK_BUFFER, pixels);
    gl.bufferData(gl.PIXEL_PACK_BUFFER, frameBytes * kCheckTimes.length, gl.STREAM_READ);
    kCheckTimes.forEach((t, k) => {
      drawInto(checkFramebuffer, t, kBaseWidth, kBaseHeight);
      gl.bindFramebuffer(gl.FRAMEBUFFER, checkFramebuffer);
      gl.readPixels(0, 0, kBaseWidth, kBaseHeight, gl.RGBA, gl.UNSIGNED_BYTE, k * frameBytes);
    });
    const done = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
    gl.flush();
    const end = performance.now() + kCheckWaitMs;
    let status = gl.TIMEOUT_EXPIRED;
    while (status === gl.TIMEOUT_EXPIRED && !gl.isContextLost() && performance.now() < end) {
      await new Promise((resume) => setTimeout(resume, 1));
      status = gl.clientWaitSync(done, 0, 0);
    }
    if (gl.isContextLost()) throw new Error('the context was lost');
    if (status === gl.TIMEOUT_EXPIRED || status === gl.WAIT_FAILED) throw new Error('the self-check did not finish');
    const read = new Uint8Array(frameBytes * kCheckTimes.length);
    gl.getBufferSubData(gl.PIXEL_PACK_BUFFER, 0, read);
    gl.bindBuffer(gl.PIXEL_PACK_BUFFER, null);
    gl.deleteSync(done);
    gl.deleteBuffer(pixels);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    gl.deleteFramebuffer(checkFramebuffer);
    gl.deleteTexture(target);
    return read;
  }

  // The self-check: every pixel of the frames read back against reference's.
  const read = await checkFrames();
  kCheckTimes.forEach((t, frame) => {
    const want = reference(t), at = frame * want.length * 4;
    const k = want.findIndex((p, n) => read[at + 4 * n] !== p >>> 16 || read[at + 4 * n + 1] !== ((p >>> 8) & 255) ||
                                       read[at + 4 * n + 2] !== (p & 255));
    if (k >= 0) {
      throw new Error(`the self-check's frame at time ${t} differs at (${k % kBaseWidth}, ${Math.floor(k / kBaseWidth)})`);
    }
  });

  let pending = null;  // the last fence
  const engine = {
    get lost() { return gl.isContextLost(); },
    draw(t, width, height) {
      if (gl.isContextLost()) return false;
      if (gl.drawingBufferWidth !== width || gl.drawingBufferHeight !== height) return false;
      return drawInto(null, t, width, height);
    },
    // A fence after the frames drawn so far, replacing the last one.
    fence() {
      if (pending) gl.deleteSync(pending);
      pending = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
      gl.flush();
    },
    // True once the GPU has finished the frames before the last fence. Changes
    // only between tasks (WebGL2 signals fences there), never within one.
    done() {
      if (pending && gl.clientWaitSync(pending, 0, 0) === gl.TIMEOUT_EXPIRED && !gl.isContextLost()) return false;
      if (pending) gl.deleteSync(pending);
      pending = null;
      return true;
    },
  };
  canvas.addEventListener('webglcontextlost', onLost, {once: true});
  return engine;
}
