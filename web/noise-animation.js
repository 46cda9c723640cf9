// The page's script: reads the URL parameters, loads the WebAssembly module
// (the SIMD128 build where the browser runs SIMD, the plain one otherwise),
// gives it the clock, the canvas and the title, and paces its frame loop.
// Frames are drawn by the WebGL2 engine (gpu-engine.js) where it draws them
// exactly, otherwise by the module.
'use strict';

(() => {
  const kUnlimitedBudgetMs = 10;  // ?unlimited: rendering time per display refresh, the rest is the page's
  const kMaxSeed = 4294967295;    // seeds are 32-bit: -2147483648 .. 4294967295, as noise-frame takes them
  const kMinSeed = -2147483648;
  const kMaxTime = 4294967295;    // time values are unsigned 32-bit
  const kZooms = ['1', '2', '4'];
  const kEngines = ['cpu', 'gpu'];
  const kMaxBatch = 1024;            // ?unlimited with WebGL2: most frames queued per refresh
  const kMaxSide = 16384;            // frame sizes as noise-frame takes them: each side 1 to 16384,
  const kMaxPixels = 8192 * 8192;    // at most 8192 x 8192 pixels
  const kTableEntries = 515, kSineEntries = 1024, kPaletteEntries = 256;  // the module's tables
  // The smallest module that uses a SIMD128 instruction: valid only where the engine has SIMD.
  const kSimdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8,
                                     0, 65, 0, 253, 15, 253, 98, 11]);

  let canvas = document.getElementById('frame');  // replaced by a fresh one when the engine changes
  const engineLine = document.getElementById('engine');
  const rateLine = document.getElementById('rate');
  const problemLine = document.getElementById('problem');

  function showProblem(text) {
    problemLine.textContent = text;
    problemLine.hidden = false;
  }

  // A whole decimal number from low to high, or null.
  function wholeNumber(text, low, high) {
    if (!/^-?[0-9]{1,10}$/.test(text)) return null;
    const value = Number(text);
    return value >= low && value <= high ? value : null;
  }

  // A frame size 'WxH' as {width, height}, or null.
  function frameSize(text) {
    const match = /^([0-9]{1,5})[xX]([0-9]{1,5})$/.exec(text);
    if (!match) return null;
    const [width, height] = [Number(match[1]), Number(match[2])];
    const fits = width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
    return fits ? {width, height} : null;
  }

  // The URL's parameters: seed=S (0 seeds from the clock), time=T (holds that
  // moment; needs a seed), unlimited, plain (the module without SIMD),
  // engine=cpu|gpu (the module or WebGL2 only), size=WxH (the canvas's
  // pixels; 320x200 when not given). Throws one line naming what is wrong.
  function readParameters(search) {
    const params = new URLSearchParams(search);
    const result = {seed: 0, hold: false, time: 0, unlimited: false, plain: false, engine: '', size: null};
    const seen = new Set();
    for (const [name, value] of params) {
      if (seen.has(name)) throw new Error(`parameter '${name}' is given twice`);
      seen.add(name);
      if (name === 'seed') {
        result.seed = wholeNumber(value, kMinSeed, kMaxSeed);
        if (result.seed === null) {
          throw new Error(`seed: not a whole number from ${kMinSeed} to ${kMaxSeed}: '${value}'`);
        }
      } else if (name === 'time') {
        result.time = wholeNumber(value, 0, kMaxTime);
        if (result.time === null) throw new Error(`time: not a whole number from 0 to ${kMaxTime}: '${value}'`);
        result.hold = true;
      } else if (name === 'unlimited' || name === 'plain') {
        if (value !== '') throw new Error(`${name}: takes no value, not '${value}'`);
        result[name] = true;
      } else if (name === 'engine') {
        if (!kEngines.includes(value)) throw new Error(`engine: not cpu or gpu: '${value}'`);
        result.engine = value;
      } else if (name === 'size') {
        result.size = frameSize(value);
        if (result.size === null) {
          throw new Error(`size: not WxH with sides 1 to ${kMaxSide} and at most 8192x8192 pixels: '${value}'`);
        }
      } else {
        throw new Error(`unknown parameter '${name}' (known: seed, time, unlimited, plain, engine, size)`);
      }
    }
    if (result.hold && !seen.has('seed')) throw new Error('time: needs a seed too, as in ?seed=1&time=999');
    return result;
  }

  // Shows the canvas at its size in CSS pixels.
  function sizeCanvas(target, {width, height}) {
    target.width = width;
    target.height = height;
    target.style.width = `${width}px`;
    target.style.height = `${height}px`;
  }

  // The WebGL2 engine on a copy of the canvas, which takes the canvas's place
  // once the engine draws the frames exactly at size. Throws why not.
  async function startGpu(exports, preserve, size, onLost) {
    const memory = exports.memory.buffer;
    const tables = {
      perm: new Int32Array(memory, exports.WebPermTable(), kTableEntries),
      grad: new Int32Array(memory, exports.WebGradTable(), 3 * kTableEntries),
      sine: new Int32Array(memory, exports.WebSineTable(), kSineEntries),
      palette: new Uint8Array(memory, exports.WebPalette(), 4 * kPaletteEntries),
    };
    const best = exports.WebBestPath();
    const reference = (t) => new Uint32Array(exports.memory.buffer, exports.WebRenderWith(best, t), 320 * 200);
    const trial = canvas.cloneNode(false);
    const engine = await createGpuEngine(trial, tables, {reference, preserve, onLost});
    if (!engine.draw(exports.WebFrameTime(), size.width, size.height)) {
      throw new Error(`${size.width}x${size.height} frames are larger than it draws`);
    }
    canvas.replaceWith(trial);
    canvas = trial;
    return engine;
  }

  // Names the engine that draws, and why WebGL2 does not when there is a reason.
  function showEngine(webgl, reason = '') {
    engineLine.textContent = webgl ? 'Drawn by WebGL2' : `Drawn by WebAssembly${reason && ` (WebGL2: ${reason})`}`;
  }

  async function start() {
    let options;
    try {
      options = readParameters(window.location.search);
    } catch (error) {
      showProblem(error.message);
      return;
    }
    const simd = !options.plain && WebAssembly.validate(kSimdProbe);
    const moduleName = simd ? 'noise-animation-simd.wasm' : 'noise-animation-plain.wasm';

    let exports = null;
    let image = null;    // the display's pixels, a view of the module's memory
    let context = null;  // the canvas's 2D context while the module draws
    const text = (pointer) => {
      const bytes = new Uint8Array(exports.memory.buffer, pointer);
      return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
    };
    const imports = {
      env: {
        page_open(pointer, width, height) {
          canvas.width = width;
          canvas.height = height;
          image = {pointer, width, height, data: null};
        },
        page_present() {
          // A view of the memory before it grew is empty: take a new one.
          if (!image.data?.data.length) {
            const bytes = new Uint8ClampedArray(exports.memory.buffer, image.pointer, image.width * image.height * 4);
            image.data = new ImageData(bytes, image.width);
          }
          context.putImageData(image.data, 0, 0);
        },
        page_zoom(zoom) {
          canvas.style.width = `${canvas.width * zoom}px`;
          canvas.style.height = `${canvas.height * zoom}px`;
          for (const button of document.querySelectorAll('button[data-zoom]')) {
            button.setAttribute('aria-pressed', String(button.dataset.zoom === String(zoom)));
          }
        },
        page_title(pointer) {
          document.title = text(pointer);
          rateLine.textContent = document.title === 'Noise animation' ? '' : document.title.slice(16);
        },
        // The memory grew (for larger frames); views of it are taken anew where they are used.
        emscripten_notify_memory_growth() {},
      },
      wasi_snapshot_preview1: {
        // Clock 0 is the real-time clock, the others the monotonic one; nanoseconds.
        clock_time_get(id, precision, out) {
          const ms = id === 0 ? Date.now() : performance.now();
          new DataView(exports.memory.buffer).setBigUint64(out, BigInt(Math.round(ms * 1e6)), true);
          return 0;
        },
        // The module stops only when memory runs out (an abort): the frame loop reports it.
        proc_exit(code) { throw new Error(`the animation stopped (exit ${code}): not enough memory`); },
      },
    };

    try {
      const response = await fetch(moduleName);
      if (!response.ok) throw new Error(`${moduleName}: ${response.status} ${response.statusText}`);
      const {instance} = await WebAssembly.instantiate(await response.arrayBuffer(), imports);
      exports = instance.exports;
      exports._initialize();
    } catch (error) {
      showProblem(`could not load the animation: ${error.message}`);
      return;
    }
    if (exports.WebStart(options.seed >>> 0, options.hold ? 1 : 0, options.time) !== 0) {
      showProblem('not enough memory for the frames');
      return;
    }
    const size = options.size || {width: canvas.width, height: canvas.height};
    if (options.size) sizeCanvas(canvas, size);
    let gpu = null;
    let fallback = '';  // why WebGL2 does not draw
    if (options.engine !== 'cpu') {
      try {
        gpu = await startGpu(exports, options.hold, size, () => gpu && useModule('the context was lost'));
      } catch (error) {
        if (options.engine === 'gpu') {
          showProblem(`engine=gpu: WebGL2 cannot draw the frames here: ${error.message}`);
          return;
        }
        fallback = error.message;
      }
    }

    // Draws the frames with the module from now on, on a canvas with a 2D
    // context: a fresh one when WebGL2 drew on this one.
    function useModule(reason) {
      if (gpu) {
        gpu = null;
        const fresh = canvas.cloneNode(false);
        canvas.replaceWith(fresh);
        canvas = fresh;
      }
      context = canvas.getContext('2d');
      showEngine(false, reason);
    }
    if (gpu) showEngine(true);
    else useModule(fallback);

    // Draws time value t at the page's size; false when the memory for it is short.
    function drawAt(t) {
      if (gpu && gpu.draw(t, size.width, size.height)) return true;
      if (gpu) useModule(gpu.lost ? 'the context was lost' : 'it could not draw the frame');
      const pointer = exports.WebSizedFrame(size.width, size.height, t);
      if (pointer === 0) return false;
      const bytes = new Uint8ClampedArray(exports.memory.buffer, pointer, size.width * size.height * 4);
      context.putImageData(new ImageData(bytes, size.width), 0, 0);
      return true;
    }

    // One pass of the frame loop: the module's own, or a frame drawn here and counted there.
    function frameStep() {
      if (!gpu && !options.size) return exports.WebFrame();
      if (!drawAt(exports.WebFrameTime())) throw new Error('not enough memory for the frames');
      exports.WebFrameShown();
    }

    // For the page's checks and benchmarks: the module, its render path and the engine.
    window.noiseAnimation = {exports, simd, drawAt, gpu: () => gpu};
    document.body.dataset.renderer = simd ? 'simd128' : 'plain';

    const requestZoom = (zoom) => exports.WebRequestZoom(Number(zoom));
    document.addEventListener('keydown', (event) => {
      if (kZooms.includes(event.key)) requestZoom(event.key);
    });
    for (const button of document.querySelectorAll('button[data-zoom]')) {
      button.addEventListener('click', () => requestZoom(button.dataset.zoom));
    }
    // Hidden pages get no animation frames; the rate counts from the return.
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden) exports.WebRestartRate();
    });

    // ?unlimited with WebGL2: as many frames per refresh as the GPU finishes,
    // not as many as the script can queue. One batch is in flight at most; it
    // doubles when the GPU finished the last one by the next refresh, and
    // halves, drawing nothing, when it did not.
    let batch = 1;
    function unlimitedGpuStep() {
      if (!gpu.done()) {
        batch = Math.max(1, batch >> 1);
        return;
      }
      batch = Math.min(2 * batch, kMaxBatch);
      for (let k = 0; k < batch && gpu; ++k) frameStep();
      gpu?.fence();
    }

    const frame = () => {
      try {
        const end = options.unlimited ? performance.now() + kUnlimitedBudgetMs : 0;
        if (gpu && options.unlimited) {
          unlimitedGpuStep();
        } else {
          do frameStep(); while (performance.now() < end);
        }
      } catch (error) {
        showProblem(error.message);
        return;
      }
      window.requestAnimationFrame(frame);
    };
    window.requestAnimationFrame(frame);
  }

  start();
})();
