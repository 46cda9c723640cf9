// The page's script: reads the URL parameters, loads the WebAssembly module
// (the SIMD128 build where the browser runs SIMD, the plain one otherwise),
// gives it the clock, the canvas and the title, and paces its frame loop.
'use strict';

(() => {
  const kUnlimitedBudgetMs = 10;  // ?unlimited: rendering time per display refresh, the rest is the page's
  const kMaxSeed = 4294967295;    // seeds are 32-bit: -2147483648 .. 4294967295, as noise-frame takes them
  const kMinSeed = -2147483648;
  const kMaxTime = 4294967295;    // time values are unsigned 32-bit
  const kZooms = ['1', '2', '4'];
  // The smallest module that uses a SIMD128 instruction: valid only where the engine has SIMD.
  const kSimdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8,
                                     0, 65, 0, 253, 15, 253, 98, 11]);

  const canvas = document.getElementById('frame');
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

  // The URL's parameters: seed=S (0 seeds from the clock), time=T (holds that
  // moment; needs a seed), unlimited, plain (the module without SIMD). Throws
  // one line naming what is wrong.
  function readParameters(search) {
    const params = new URLSearchParams(search);
    const result = {seed: 0, hold: false, time: 0, unlimited: false, plain: false};
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
      } else {
        throw new Error(`unknown parameter '${name}' (known: seed, time, unlimited, plain)`);
      }
    }
    if (result.hold && !seen.has('seed')) throw new Error('time: needs a seed too, as in ?seed=1&time=999');
    return result;
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
    let image = null;
    const context = canvas.getContext('2d');
    const text = (pointer) => {
      const bytes = new Uint8Array(exports.memory.buffer, pointer);
      return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
    };
    const imports = {
      env: {
        page_open(pointer, width, height) {
          canvas.width = width;
          canvas.height = height;
          // The module's memory never grows, so this view stays valid.
          image = new ImageData(new Uint8ClampedArray(exports.memory.buffer, pointer, width * height * 4), width);
        },
        page_present() { context.putImageData(image, 0, 0); },
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
      },
      wasi_snapshot_preview1: {
        // Clock 0 is the real-time clock, the others the monotonic one; nanoseconds.
        clock_time_get(id, precision, out) {
          const ms = id === 0 ? Date.now() : performance.now();
          new DataView(exports.memory.buffer).setBigUint64(out, BigInt(Math.round(ms * 1e6)), true);
          return 0;
        },
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
    // For the page's checks and benchmarks: the module and its render path.
    window.noiseAnimation = {exports, simd};
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

    const frame = () => {
      if (options.unlimited) {
        const end = performance.now() + kUnlimitedBudgetMs;
        do exports.WebFrame(); while (performance.now() < end);
      } else {
        exports.WebFrame();
      }
      window.requestAnimationFrame(frame);
    };
    window.requestAnimationFrame(frame);
  }

  start();
})();
