// Frame time of the page's two engines at one size, side by side in one
// browser (Debian's chromium, WebGL2 by SwiftShader on the CPU): the
// WebAssembly engine (the frame loop's step: the module's render and RGBA
// conversion, and that plus the canvas's putImageData) and the WebGL2 engine
// (the script's cost per frame, and the whole frame until the GPU has
// finished it, read from a fence). Each figure
// is the best of ROUNDS runs of FRAMES frames, in milliseconds per frame.
//   node web_engines.mjs NPM_DIR PAGE_DIR [SIZE [FRAMES [ROUNDS]]]
import {launchChromium, servePage} from '../scripts/web_browser.mjs';

const [npmDir, pageDir, size = '1920x1080', frames = '10', rounds = '3'] = process.argv.slice(2);
const kSeed = 12345;

// Milliseconds per frame of each way of drawing, best of the rounds. The
// page holds one moment, so every frame costs the same.
function timeEngine(page) {
  return page.evaluate(async ([frames, rounds]) => {
    const {draw, step, gpu} = window.noiseAnimation;
    // Resolves once the GPU has finished every frame drawn so far.
    const finished = async () => {
      gpu().fence();
      while (!gpu().done()) await new Promise((resume) => setTimeout(resume, 0));
    };
    const best = {};
    const note = (name, ms) => { best[name] = Math.min(best[name] ?? Infinity, ms / frames); };
    for (let round = 0; round <= rounds; ++round) {  // round 0 warms up
      if (gpu()) {
        await finished();
        const start = performance.now();
        for (let f = 0; f < frames; ++f) step();
        const queued = performance.now();
        await finished();
        if (round > 0) {
          note('webgl2 script', queued - start);
          note('webgl2 frame', performance.now() - start);
        }
      } else {
        let start = performance.now();
        for (let f = 0; f < frames; ++f) step();
        if (round > 0) note('module render + RGBA', performance.now() - start);
        start = performance.now();
        for (let f = 0; f < frames; ++f) step(), draw();
        if (round > 0) note('+ putImageData', performance.now() - start);
      }
    }
    return best;
  }, [Number(frames), Number(rounds)]);
}

const {origin, stop} = await servePage(pageDir);
let browser = null;
try {
  browser = await launchChromium(npmDir);
  const page = await browser.newPage();
  console.log(`${size}, ${frames} frames a run, best of ${rounds} runs; ms per frame`);
  for (const engine of ['cpu', 'gpu']) {
    await page.goto(`${origin}/?seed=${kSeed}&time=0&size=${size}&engine=${engine}`);
    await page.waitForFunction(() => window.noiseAnimation || !document.getElementById('problem').hidden, null,
                               {timeout: 60000});
    const problem = await page.textContent('#problem');
    if (problem) throw new Error(`engine=${engine}: ${problem}`);
    for (const [name, ms] of Object.entries(await timeEngine(page))) {
      console.log(`${name.padEnd(24)} ${ms.toFixed(3).padStart(10)}`);
    }
  }
} finally {
  if (browser) await browser.close();
  stop();
}
