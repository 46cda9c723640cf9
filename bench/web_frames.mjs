// Whole-frame cost in Chromium against the native SSE2 path, side by side:
// each round runs the native frame_timing, then times the same frames in the
// page's WebAssembly module (both paths, the same seed, times and frame
// count, best of three), and prints the milliseconds per frame and the ratio.
// Then the page's own frames on a 1920x1080 canvas, each module: the frame
// loop's step (render and RGBA conversion) and the canvas drawing, against
// the goal of 12 ms a frame.
//   node web_frames.mjs NPM_DIR PAGE_DIR FRAME_TIMING [ROUNDS [FRAMES]]
import {execFileSync} from 'node:child_process';

import {launchChromium, servePage} from '../scripts/web_browser.mjs';

const [npmDir, pageDir, frameTiming, rounds = '3', frames = '400'] = process.argv.slice(2);
const kSeed = 12345;     // frame_timing's seed, time step and repeats
const kTimeStep = 37;
const kRepeats = 3;
const kPaths = {plain: 0, simd128: 4};  // indices in RenderPath
const kCanvas = '1920x1080';
const kCanvasFrames = 30;
const kCanvasGoalMs = 12;

function nativeFrames() {
  const out = execFileSync(frameTiming, [frames], {encoding: 'utf8'});
  // frame_timing prints microseconds per frame first on each path's line.
  const ms = (name) => Number(new RegExp(`^${name} +([0-9.]+)`, 'm').exec(out)?.[1]) / 1000;
  const best = /best path: (\w+)/.exec(out)[1];
  return {plain: ms('plain'), sse2: ms('sse2'), best, bestMs: ms(best)};
}

// Milliseconds per frame in the page, best of kRepeats, per path.
function webFrames(page) {
  return page.evaluate(([paths, frames, step, repeats]) => {
    const {exports} = window.noiseAnimation;
    const result = {};
    for (const [name, path] of Object.entries(paths)) {
      for (let f = 0; f < 20; ++f) exports.WebRenderWith(path, f * step);  // compiled and warm
      let best = Infinity;
      for (let rep = 0; rep < repeats; ++rep) {
        const start = performance.now();
        for (let f = 0; f < frames; ++f) exports.WebRenderWith(path, f * step);
        best = Math.min(best, (performance.now() - start) / frames);
      }
      result[name] = best;
    }
    return result;
  }, [kPaths, Number(frames), kTimeStep, kRepeats]);
}

// Milliseconds per canvas frame in the page, best of kRepeats: the loop's
// step (WebFrame) and the drawing (putImageData, flushed by a one-pixel read).
function canvasFrames(page) {
  return page.evaluate(([frames, repeats]) => {
    const {exports, draw} = window.noiseAnimation;
    const context = document.getElementById('frame').getContext('2d');
    for (let f = 0; f < 3; ++f) exports.WebFrame(), draw();  // compiled and warm
    let step = Infinity, drawing = Infinity;
    for (let rep = 0; rep < repeats; ++rep) {
      let stepSum = 0, drawSum = 0;
      for (let f = 0; f < frames; ++f) {
        const start = performance.now();
        exports.WebFrame();
        const stepped = performance.now();
        draw();
        context.getImageData(0, 0, 1, 1);
        drawSum += performance.now() - stepped;
        stepSum += stepped - start;
      }
      step = Math.min(step, stepSum / frames);
      drawing = Math.min(drawing, drawSum / frames);
    }
    return {step, drawing};
  }, [kCanvasFrames, kRepeats]);
}

async function canvasRounds(page) {
  console.log(`\n${kCanvas} canvas, ${kCanvasFrames} frames per module, best of ${kRepeats}; ms per frame ` +
              `(goal: at most ${kCanvasGoalMs})`);
  console.log('round  module    render+RGBA     draw    total');
  for (let round = 1; round <= Number(rounds); ++round) {
    for (const module of ['plain', 'simd128']) {
      await page.goto(`${origin}/?seed=${kSeed}&time=0&size=${kCanvas}&engine=cpu${module === 'plain' ? '&plain' : ''}`);
      await page.waitForFunction(() => window.noiseAnimation, null, {timeout: 30000});
      const {step, drawing} = await canvasFrames(page);
      console.log(`${String(round).padEnd(6)} ${module.padEnd(8)} ${step.toFixed(2).padStart(12)} ` +
                  `${drawing.toFixed(2).padStart(8)} ${(step + drawing).toFixed(2).padStart(8)}`);
    }
  }
}

const {origin, stop} = await servePage(pageDir);
let browser = null;
try {
  browser = await launchChromium(npmDir);
  const page = await browser.newPage();
  await page.goto(`${origin}/?seed=${kSeed}&time=0&engine=cpu`);
  await page.waitForFunction(() => window.noiseAnimation, null, {timeout: 30000});
  console.log(`${frames} frames per path, best of ${kRepeats}; ms per frame`);
  console.log('round  native plain  native sse2  native best       chromium plain  chromium simd128  simd128 / sse2');
  for (let round = 1; round <= Number(rounds); ++round) {
    const native = nativeFrames();
    const web = await webFrames(page);
    console.log(`${String(round).padEnd(6)} ${native.plain.toFixed(4).padStart(12)} ${native.sse2.toFixed(4).padStart(12)} ` +
                `${(native.bestMs.toFixed(4) + ' ' + native.best).padStart(18)} ${web.plain.toFixed(4).padStart(15)} ` +
                `${web.simd128.toFixed(4).padStart(17)} ${(web.simd128 / native.sse2).toFixed(2).padStart(15)}`);
  }
  await canvasRounds(page);
} finally {
  if (browser) await browser.close();
  stop();
}
