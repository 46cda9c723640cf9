// The page's script: reads the URL parameters, loads the WebAssembly module
// (the SIMD128 build where the browser runs SIMD, the plain one otherwise or
// when that fails to load), gives it the clock, the canvas and the title,
// keeps its frame at the canvas's pixel size and paces its frame loop.
// Frames are drawn by the WebGL2 engine (gpu-engine.js) where it draws them
// exactly, otherwise by the module.
'use strict';

(() => {
  const kUnlimitedBudgetMs = 10;  // ?unlimited: rendering time per display refresh, the rest is the page's
  const kMaxSeed = 4294967295;    // seeds are 32-bit: -2147483648 .. 4294967295, as noise-frame takes them
  const kMinSeed = -2147483648;
  const kMaxTime = 4294967295;    // time values are unsigned 32-bit
  const kMaxSide = 2147483647;    // larger sides are out of range all the same; the module takes 32-bit ints
  const kBaseWidth = 320;         // the canvas's CSS size at zoom 1
  const kBaseHeight = 200;
  const kZooms = ['1', '2', '4'];
  const kEngines = ['cpu', 'gpu'];
  const kMaxBatch = 1024;         // ?unlimited with WebGL2: most frames queued per refresh
  const kTableEntries = 515, kSineEntries = 1024, kPaletteEntries = 256;  // the module's tables
  const kQuotedLength = 40;       // characters of a bad value shown in its problem line
  const kModules = {simd: 'noise-animation-simd.wasm', plain: 'noise-animation-plain.wasm'};
  // The smallest module that uses a SIMD128 instruction: valid only where the engine has SIMD.
  const kSimdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8,
                                     0, 65, 0, 253, 15, 253, 98, 11]);

  let canvas = document.getElementById('frame');  // replaced by a fresh one when the engine changes
  let canvasObserver = null;                      // followCanvasSize's, when it follows
  let frameSize = {width: kBaseWidth, height: kBaseHeight};  // the module's frame, WebStart's at first
  const engineLine = document.getElementById('engine');
  const rateLine = document.getElementById('rate');
  const problemLine = document.getElementById('problem');
  const fullScreenButton = document.getElementById('full-screen');

  function showProblem(text) {
    problemLine.textContent = text;
    problemLine.hidden = false;
  }

  // text in single quotes for a problem line: its first kQuotedLength
  // characters and '…' when longer, control characters and quotes as \xNN.
  function quote(text) {
    const characters = Array.from(text);
    const shown = characters.slice(0, kQuotedLength).join('').replace(
        /[\x00-\x1f\x7f-\x9f']/g, (c) => `\\x${c.charCodeAt(0).toString(16).padStart(2, '0')}`);
    return `'${shown}${characters.length > kQuotedLength ? '…' : ''}'`;
  }

  // A whole decimal number from low to high, or null.
  function wholeNumber(text, low, high) {
    if (!/^-?[0-9]{1,10}$/.test(text)) return null;
    const value = Number(text);
    return value >= low && value <= high ? value : null;
  }

  // The URL's parameters: seed=S (0 seeds from the clock), time=T (holds that
  // moment; needs a seed), size=WxH (the canvas's pixel size; its range is
  // the module's to check), unlimited, plain (the module without SIMD),
  // engine=cpu|gpu (the module or WebGL2 only). Throws one line naming what
  // is wrong.
  function readParameters(search) {
    const params = new URLSearchParams(search);
    const result = {seed: 0, hold: false, time: 0, size: null, unlimited: false, plain: false, engine: ''};
    const seen = new Set();
    for (const [name, value] of params) {
      if (seen.has(name)) throw new Error(`parameter ${quote(name)} is given twice`);
      seen.add(name);
      if (name === 'seed') {
        result.seed = wholeNumber(value, kMinSeed, kMaxSeed);
        if (result.seed === null) {
          throw new Error(`seed: not a whole number from ${kMinSeed} to ${kMaxSeed}: ${quote(value)}`);
        }
      } else if (name === 'time') {
        result.time = wholeNumber(value, 0, kMaxTime);
        if (result.time === null) throw new Error(`time: not a whole number from 0 to ${kMaxTime}: ${quote(value)}`);
        result.hold = true;
      } else if (name === 'size') {
        const sides = /^([0-9]+)[xX]([0-9]+)$/.exec(value);
        if (!sides) throw new Error(`size: not WxH: ${quote(value)}`);
        result.size = {width: Math.min(Number(sides[1]), kMaxSide), height: Math.min(Number(sides[2]), kMaxSide),
                       text: value};
      } else if (name === 'unlimited' || name === 'plain') {
        if (value !== '') throw new Error(`${name}: takes no value, not ${quote(value)}`);
        result[name] = true;
      } else if (name === 'engine') {
        if (!kEngines.includes(value)) throw new Error(`engine: not cpu or gpu: ${quote(value)}`);
        result.engine = value;
      } else {
        throw new Error(`unknown parameter ${quote(name)} (known: seed, time, size, unlimited, plain, engine)`);
      }
    }
    if (result.hold && !seen.has('seed')) throw new Error('time: needs a seed too, as in ?seed=1&time=999');
    return result;
  }

  // Fetches and instantiates one module file; throws naming what failed.
  async function instantiate(name, imports) {
    const response = await fetch(name);
    if (!response.ok) throw new Error(`${name}: ${response.status} ${response.statusText}`);
    return (await WebAssembly.instantiate(await response.arrayBuffer(), imports)).instance;
  }

  // The SIMD128 module where wanted and the engine runs it; the plain module
  // otherwise, and when the SIMD one is missing, blocked or broken.
  async function loadModule(wantSimd, imports) {
    if (wantSimd && WebAssembly.validate(kSimdProbe)) {
      try {
        return {instance: await instantiate(kModules.simd, imports), simd: true};
      } catch {
        // The plain module draws the same frames.
      }
    }
    return {instance: await instantiate(kModules.plain, imports), simd: false};
  }

  // The canvas's picture: the module's last RGBA frame, viewed in its
  // memory and put on the canvas once per animation frame. The view is made
  // anew only when the frame moves or resizes or the memory grows (which
  // detaches every earlier view).
  function makePresenter(memory) {
    let context = null;  // the 2D context of the canvas it drew on last
    let image = null;
    let pending = null;
    return {
      present(pointer, width, height) { pending = {pointer, width, height}; },
      draw() {
        if (pending === null) return;
        const {pointer, width, height} = pending;
        pending = null;
        const buffer = memory().buffer;
        if (image === null || image.data.buffer !== buffer || image.data.byteOffset !== pointer ||
            image.width !== width || image.height !== height) {
          image = new ImageData(new Uint8ClampedArray(buffer, pointer, width * height * 4), width, height);
        }
        if (canvas.width !== width || canvas.height !== height) {
          canvas.width = width;
          canvas.height = height;
        }
        if (context?.canvas !== canvas) context = canvas.getContext('2d', {alpha: false});
        context.putImageData(image, 0, 0);
      },
    };
  }

  // The canvas's CSS size at zoom: 320x200 CSS pixels times zoom; with a
  // fixed size, that many device pixels times zoom.
  function layOut(zoom, size) {
    const [width, height] = size ? [size.width / window.devicePixelRatio, size.height / window.devicePixelRatio]
                                 : [kBaseWidth, kBaseHeight];
    canvas.style.width = `${width * zoom}px`;
    canvas.style.height = `${height * zoom}px`;
    for (const button of document.querySelectorAll('button[data-zoom]')) {
      button.setAttribute('aria-pressed', String(button.dataset.zoom === String(zoom)));
    }
  }

  // Sets the module's frame, which both engines draw, to width x height
  // pixels. Returns '', or why it cannot; the frame then keeps its size.
  function resizeFrame(exports, width, height) {
    const result = exports.WebResize(width, height);
    if (result === 0) frameSize = {width, height};
    return ['', 'out of range', 'not enough memory for the frame'][result];
  }

  // Watches the canvas's size in device pixels where the browser tells it.
  function observeCanvas() {
    try {
      canvasObserver.observe(canvas, {box: 'device-pixel-content-box'});
    } catch {
      canvasObserver.observe(canvas);
    }
  }

  // Puts fresh in the canvas's place (same attributes and CSS size).
  function replaceCanvas(fresh) {
    canvas.replaceWith(fresh);
    canvasObserver?.unobserve(canvas);
    canvas = fresh;
    if (canvasObserver) observeCanvas();
  }

  // Keeps the frame at the canvas's pixel size, its CSS size times
  // devicePixelRatio as the browser lays it out: through zoom, the
  // browser's own zoom and full screen.
  function followCanvasSize(exports) {
    let sizeProblemShown = false;  // the problem line names a canvas size the module refused
    canvasObserver = new ResizeObserver(([entry]) => {
      const box = entry.devicePixelContentBoxSize?.[0];
      const width = box ? box.inlineSize : Math.round(entry.contentRect.width * window.devicePixelRatio);
      const height = box ? box.blockSize : Math.round(entry.contentRect.height * window.devicePixelRatio);
      if (width === 0 || height === 0) return;
      const problem = resizeFrame(exports, width, height);
      if (problem) {
        showProblem(`a canvas of ${width}x${height} pixels: ${problem}`);
      } else if (sizeProblemShown) {
        problemLine.hidden = true;  // a size that fits again; any other problem stays shown
      }
      sizeProblemShown = Boolean(problem);
    });
    observeCanvas();
  }

  // The WebGL2 engine on a copy of the canvas, which takes the canvas's place
  // once the engine draws the frames exactly at the frame's size. Throws why not.
  async function startGpu(exports, preserve, onLost) {
    const memory = exports.memory.buffer;
    const tables = {
      perm: new Int32Array(memory, exports.WebPermTable(), kTableEntries),
      grad: new Int32Array(memory, exports.WebGradTable(), 3 * kTableEntries),
      sine: new Int32Array(memory, exports.WebSineTable(), kSineEntries),
      palette: new Uint8Array(memory, exports.WebPalette(), 4 * kPaletteEntries),
    };
    const best = exports.WebBestPath();
    const reference = (t) => new Uint32Array(exports.memory.buffer, exports.WebRenderWith(best, t),
                                             kBaseWidth * kBaseHeight);
    if (typeof createGpuEngine !== 'function') throw new Error('its script gpu-engine.js did not load');
    const trial = canvas.cloneNode(false);
    const engine = await createGpuEngine(trial, tables, {reference, preserve, onLost});
    if (!drawGpu(engine, trial, exports.WebFrameTime())) {
      throw new Error(`${frameSize.width}x${frameSize.height} frames are larger than it draws`);
    }
    replaceCanvas(trial);
    return engine;
  }

  // Draws time value t with engine on target at the frame's size; false when it cannot.
  function drawGpu(engine, target, t) {
    const {width, height} = frameSize;
    if (target.width !== width || target.height !== height) {
      target.width = width;
      target.height = height;
    }
    return engine.draw(t, width, height);
  }

  // Names the engine that draws, and why WebGL2 does not when there is a reason.
  function showEngine(webgl, reason = '') {
    engineLine.textContent = webgl ? 'Drawn by WebGL2' : `Drawn by WebAssembly${reason && ` (WebGL2: ${reason})`}`;
  }

  // Zoom keys and controls, full screen, the browser's zoom (layOutAgain)
  // and the page's visibility.
  function handleInput(exports, layOutAgain) {
    const requestZoom = (zoom) => exports.WebRequestZoom(Number(zoom));
    document.addEventListener('keydown', (event) => {
      // With Ctrl, Alt or Meta held the keys are the browser's (Ctrl+2 switches tabs).
      if (event.ctrlKey || event.altKey || event.metaKey) return;
      if (kZooms.includes(event.key)) requestZoom(event.key);
    });
    for (const button of document.querySelectorAll('button[data-zoom]')) {
      button.addEventListener('click', () => requestZoom(button.dataset.zoom));
    }
    fullScreenButton.hidden = !document.fullscreenEnabled;
    fullScreenButton.addEventListener('click', () => canvas.requestFullscreen().catch(() => {}));
    window.addEventListener('resize', layOutAgain);
    // Hidden pages get no animation frames; the rate counts from the return.
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden) exports.WebRestartRate();
    });
  }

  async function start() {
    let options;
    try {
      options = readParameters(window.location.search);
    } catch (error) {
      showProblem(error.message);
      return;
    }
    if (typeof WebAssembly !== 'object') {
      showProblem('this browser runs no WebAssembly');
      return;
    }

    let exports = null;
    let zoom = 1;
    const presenter = makePresenter(() => exports.memory);
    const text = (pointer) => {
      const bytes = new Uint8Array(exports.memory.buffer, pointer);
      return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
    };
    const imports = {
      env: {
        page_present: presenter.present,
        page_zoom(newZoom) {
          zoom = newZoom;
          layOut(zoom, options.size);
        },
        page_title(pointer) {
          document.title = text(pointer);
          rateLine.textContent = document.title === 'Noise animation' ? '' : document.title.slice(16);
        },
        // The memory grew: the presenter sees the new buffer by itself.
        emscripten_notify_memory_growth() {},
      },
      wasi_snapshot_preview1: {
        // Clock 0 is the real-time clock, the others the monotonic one; nanoseconds.
        clock_time_get(id, precision, out) {
          const ms = id === 0 ? Date.now() : performance.now();
          new DataView(exports.memory.buffer).setBigUint64(out, BigInt(Math.round(ms * 1e6)), true);
          return 0;
        },
        // The module ends only when it cannot go on (memory short inside the C++ library).
        proc_exit(code) { throw new Error(`the module ended with code ${code}`); },
      },
    };

    let simd;
    try {
      const loaded = await loadModule(!options.plain, imports);
      exports = loaded.instance.exports;
      simd = loaded.simd;
      exports._initialize();
    } catch (error) {
      showProblem(`could not load the animation: ${error.message}`);
      return;
    }
    if (exports.WebStart(options.seed >>> 0, options.hold ? 1 : 0, options.time) !== 0) {
      showProblem('not enough memory for the frames');
      return;
    }
    if (options.size) {
      const problem = resizeFrame(exports, options.size.width, options.size.height);
      if (problem) {
        showProblem(`size: ${problem}: ${quote(options.size.text)}`);
        return;
      }
    } else {
      followCanvasSize(exports);
    }

    let gpu = null;
    let fallback = '';  // why WebGL2 does not draw
    if (options.engine !== 'cpu') {
      try {
        gpu = await startGpu(exports, options.hold, () => gpu && useModule('the context was lost'));
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
        replaceCanvas(canvas.cloneNode(false));
      }
      showEngine(false, reason);
    }
    if (gpu) showEngine(true);
    else useModule(fallback);

    // One pass of the frame loop: the module's own, or a frame drawn by
    // WebGL2 at the loop's time value and counted by the module.
    function frameStep() {
      if (gpu) {
        if (drawGpu(gpu, canvas, exports.WebFrameTime())) {
          exports.WebFrameShown();
          return;
        }
        useModule(gpu.lost ? 'the context was lost' : 'it could not draw the frame');
      }
      exports.WebFrame();
    }

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

    // For the page's checks and benchmarks: the module, its render path, the
    // canvas drawing, one pass of the loop and the WebGL2 engine (null when
    // the module draws).
    window.noiseAnimation = {exports, simd, draw: presenter.draw, step: frameStep, gpu: () => gpu};
    document.body.dataset.renderer = simd ? 'simd128' : 'plain';
    // A fixed size keeps its device pixels when the browser's zoom changes.
    handleInput(exports, () => layOut(zoom, options.size));

    const frame = () => {
      try {
        if (gpu && options.unlimited) {
          unlimitedGpuStep();
        } else if (options.unlimited) {
          const end = performance.now() + kUnlimitedBudgetMs;
          do frameStep(); while (performance.now() < end);
        } else {
          frameStep();
        }
      } catch (error) {
        showProblem(`the animation stopped: ${error.message}`);
        return;
      }
      presenter.draw();
      window.requestAnimationFrame(frame);
    };
    window.requestAnimationFrame(frame);
  }

  start();
})();
