// The web page in a real headless Chromium, served on loopback: held moments
// against noise-frame's PNG at zoom 1, 2 and 4; SIMD128 and plain modules
// frame for frame; the WebGL2 and WebAssembly engines against noise-frame at
// a table of sizes, and the fall-backs from WebGL2; the animation, its rate
// and palette; bad parameters; and no console error, exception or failed or
// outside request anywhere.
//   node page_e2e.mjs PAGE_DIR NOISE_FRAME SCRATCH_DIR NPM_DIR
// NPM_DIR holds the node_modules that npm ci made from package-lock.json.
import {execFileSync} from 'node:child_process';
import {readdirSync, readFileSync} from 'node:fs';
import {join} from 'node:path';
import {gzipSync, inflateSync} from 'node:zlib';

import {launchChromium, servePage} from '../../scripts/web_browser.mjs';

const [pageDir, noiseFrame, scratch, npmDir] = process.argv.slice(2);
const W = 320, H = 200;
const SECONDS = 1000;
const RATE_TITLE = /^Noise animation [0-9]+\.[0-9]{2} fps$/;
const PATHS = {plain: 0, simd128: 4};  // indices in RenderPath
const failures = [];

function check(ok, what) {
  if (!ok) failures.push(what);
  return ok;
}

// 8-bit RGB or RGBA PNG to an array of 0xRRGGBB.
function decodePng(buffer) {
  let pos = 8, width = 0, height = 0, channels = 0;
  const data = [];
  while (pos < buffer.length) {
    const length = buffer.readUInt32BE(pos), type = buffer.toString('latin1', pos + 4, pos + 8);
    const body = buffer.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      [width, height, channels] = [body.readUInt32BE(0), body.readUInt32BE(4), {2: 3, 6: 4}[body[9]]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error('unexpected PNG form');
    }
    if (type === 'IDAT') data.push(body);
    pos += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data)), stride = width * channels;
  const rows = Buffer.alloc(stride * height), pixels = new Uint32Array(width * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? rows[y * stride + x - channels] : 0, b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? rows[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      rows[y * stride + x] = (line[x] + predictor) & 255;
    }
    for (let x = 0; x < width; ++x) {
      const o = y * stride + x * channels;
      pixels[y * width + x] = (rows[o] << 16) | (rows[o + 1] << 8) | rows[o + 2];
    }
  }
  return {width, height, pixels};
}

// noise-frame's PNG of a moment, at its own size or at size 'WxH'.
function framePng(seed, time, size = null) {
  const path = join(scratch, `frame-${seed}-${time}-${size}.png`);
  const sized = size ? ['--size', size] : [];
  execFileSync(noiseFrame, ['--seed', String(seed), '--time', String(time), ...sized, '-o', path]);
  return decodePng(readFileSync(path));
}

// The first pixel where the shot differs from frame scaled zoom times, or null.
function firstMismatch(shot, frame, zoom) {
  if (shot.width !== frame.width * zoom || shot.height !== frame.height * zoom) {
    return `shot is ${shot.width}x${shot.height}`;
  }
  for (let y = 0; y < shot.height; ++y) {
    for (let x = 0; x < shot.width; ++x) {
      const want = frame.pixels[Math.floor(y / zoom) * frame.width + Math.floor(x / zoom)];
      const got = shot.pixels[y * shot.width + x];
      if (got !== want) return `(${x}, ${y}) is ${got.toString(16)}, not ${want.toString(16)}`;
    }
  }
  return null;
}

// Opens url and waits for the animation to start (or for its problem line).
async function open(page, origin, query) {
  await page.goto(`${origin}/${query}`);
  await page.waitForFunction(() => document.body.dataset.renderer || !document.getElementById('problem').hidden,
                             null, {timeout: 20 * SECONDS});
}

async function heldMoments(page, origin) {
  for (const [seed, time] of [[1, 999], [7, 123456], [-5, 4294967295], [42, 0]]) {
    await open(page, origin, `?seed=${seed}&time=${time}`);
    const frame = framePng(seed, time);
    for (const zoom of [2, 4, 1]) {
      await page.keyboard.press(String(zoom));
      await page.waitForFunction((z) => document.getElementById('frame').getBoundingClientRect().width === 320 * z,
                                 zoom, {timeout: 10 * SECONDS}).catch(() => {});
      const box = await page.locator('#frame').boundingBox();
      check(box.width === W * zoom && box.height === H * zoom,
            `seed ${seed} time ${time}: zoom key ${zoom} gives a ${box.width}x${box.height} canvas`);
      const problem = firstMismatch(decodePng(await page.locator('#frame').screenshot()), frame, zoom);
      check(problem === null, `seed ${seed} time ${time} zoom ${zoom}: not noise-frame's picture: ${problem}`);
    }
  }
  await page.click('button[data-zoom="2"]');
  await page.waitForFunction(() => document.getElementById('frame').getBoundingClientRect().width === 640, null,
                             {timeout: 10 * SECONDS}).catch(() => {});
  check((await page.locator('#frame').boundingBox()).width === 640, 'the "2 x 2" control does not zoom');
}

// FNV-1a hashes of the frames at times, rendered through path in the page's module.
function frameHashes(page, path, times) {
  return page.evaluate(([path, times]) => {
    const {exports} = window.noiseAnimation;
    return times.map((t) => {
      const pixels = new Uint32Array(exports.memory.buffer, exports.WebRenderWith(path, t), 320 * 200);
      let hash = 2166136261;
      for (const p of pixels) hash = Math.imul(hash ^ p, 16777619) >>> 0;
      return hash;
    });
  }, [path, times]);
}

async function simdAgainstPlain(page, origin) {
  const times = [0, 1, 1023, 1024, 65535, 262143, 262144, 4294967295];
  for (let t = 3; t < 4e9; t = t * 5 + 17) times.push(t);
  await open(page, origin, '?seed=9&time=5');
  const renderer = await page.evaluate(() => document.body.dataset.renderer);
  const best = await page.evaluate(() => window.noiseAnimation.exports.WebBestPath());
  if (!check(renderer === 'simd128' && best === PATHS.simd128, `the page renders through ${renderer}/${best}`)) return;
  const simd = await frameHashes(page, PATHS.simd128, times);
  const plainInSimd = await frameHashes(page, PATHS.plain, times);
  await open(page, origin, '?seed=9&time=5&plain');
  check(await page.evaluate(() => window.noiseAnimation.exports.WebBestPath()) === PATHS.plain,
        '?plain did not load the plain module');
  const plain = await frameHashes(page, PATHS.simd128, times);  // unavailable there: renders plain
  // An engine without SIMD: the probe module fails to validate and the plain module loads.
  // (A second page for a moment: this check needs no animation frames.)
  const bare = await browser.newPage();
  await bare.addInitScript(() => { WebAssembly.validate = () => false; });
  await open(bare, origin, '?seed=9&time=5');
  check(await bare.evaluate(() => window.noiseAnimation.exports.WebBestPath()) === PATHS.plain,
        'without SIMD the page did not fall back to the plain module');
  await bare.close();
  times.forEach((t, k) => {
    check(simd[k] === plain[k] && plainInSimd[k] === plain[k], `time ${t}: the SIMD128 and plain frames differ`);
  });
}

// The canvas as drawn by the page's next frame, read with toDataURL.
async function canvasPicture(page) {
  const url = await page.evaluate(() => new Promise((drawn) => {
    requestAnimationFrame(() => requestAnimationFrame(() => drawn(document.getElementById('frame').toDataURL())));
  }));
  return decodePng(Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));
}

const engineText = (page) => page.textContent('#engine');

// Held moments drawn by each engine, read back from the canvas, against
// noise-frame --size and against each other.
async function engines(page, origin) {
  const cases = [[1, 999, '320x200'], [7, 123456, '1x1'], [-5, 4294967295, '333x77'], [42, 0, '199x321'],
                 [9, 2147483648, '2x3'], [3, 262143, '1920x1080']];
  for (const [seed, time, size] of cases) {
    const frame = framePng(seed, time, size);
    const drawn = {};
    for (const [engine, name] of [['gpu', 'WebGL2'], ['cpu', 'WebAssembly']]) {
      const query = `?seed=${seed}&time=${time}&size=${size}&engine=${engine}`;
      await open(page, origin, query);
      const shown = (await engineText(page)) || await page.textContent('#problem');
      check(shown.startsWith(`Drawn by ${name}`), `${query}: "${shown}"`);
      drawn[engine] = await canvasPicture(page);
      const problem = firstMismatch(drawn[engine], frame, 1);
      check(problem === null, `${query}: not noise-frame's picture: ${problem}`);
    }
    check(firstMismatch(drawn.gpu, drawn.cpu, 1) === null, `seed ${seed} time ${time} size ${size}: the engines differ`);
  }
}

// WebGL2 refused by the browser or its context lost: the page draws the same
// picture with WebAssembly, without a reload; ?engine=gpu alone says why not.
async function engineFallbacks(page, origin) {
  const loseContext = () => document.getElementById('frame').getContext('webgl2')
                                .getExtension('WEBGL_lose_context').loseContext();
  const cases = [  // [chromium flags, query, script run once it draws, text shown after]
    [['--disable-webgl'], '?seed=1&time=999', null, 'Drawn by WebAssembly (WebGL2: no WebGL2 context)'],
    [['--disable-webgl'], '?seed=1&time=999&engine=gpu', null, 'engine=gpu: WebGL2 cannot draw the frames here'],
    [[], '?seed=1&time=999&engine=gpu', loseContext, 'Drawn by WebAssembly (WebGL2: the context was lost)'],
    [[], '?seed=1&time=999&size=333x77', loseContext, 'Drawn by WebAssembly (WebGL2: the context was lost)'],
  ];
  const refused = await launchChromium(npmDir, ['--disable-webgl']);
  try {
    const bare = await refused.newPage();
    watch(bare, origin);
    for (const [flags, query, script, text] of cases) {
      const tab = flags.length ? bare : page;
      await open(tab, origin, query);
      if (text.startsWith('engine=')) {
        const shown = await tab.textContent('#problem');
        check(shown.startsWith(text) && await tab.isVisible('#problem'), `${query} ${flags}: shows "${shown}"`);
        continue;
      }
      if (script) {
        check(await engineText(tab) === 'Drawn by WebGL2', `${query}: "${await engineText(tab)}" before the loss`);
        await tab.evaluate(script);
      }
      const fell = await tab.waitForFunction((want) => document.getElementById('engine').textContent === want, text,
                                             {timeout: 10 * SECONDS}).catch(() => null);
      check(fell !== null, `${query} ${flags}: "${await engineText(tab)}", not "${text}"`);
      const size = /size=([0-9x]+)/.exec(query)?.[1];
      const problem = firstMismatch(await canvasPicture(tab), framePng(1, 999, size), 1);
      check(problem === null, `${query} ${flags}: not noise-frame's picture: ${problem}`);
    }
  } finally {
    await refused.close();
  }
}

async function animation(page, origin) {
  const palette = new Set(Array.from({length: 256}, (_, i) => (i << 16) | (i << 8) | Math.round(255 * Math.sqrt(i / 255))));
  for (const query of ['?seed=3', '?unlimited']) {
    await open(page, origin, query);
    const first = decodePng(await page.locator('#frame').screenshot());
    const strangers = first.pixels.filter((p) => !palette.has(p));
    check(strangers.length === 0, `${query}: ${strangers.length} pixels outside the palette`);
    check(new Set(first.pixels).size >= 16, `${query}: no marble pattern`);
    const title = await page.waitForFunction((re) => new RegExp(re).test(document.title) && document.title,
                                             RATE_TITLE.source, {timeout: 20 * SECONDS}).catch(() => null);
    check(title !== null, `${query}: no rate in the title ("${await page.title()}")`);
    check((await page.textContent('#rate')).endsWith(' fps'), `${query}: no rate on the page`);
    const later = decodePng(await page.locator('#frame').screenshot());
    check(later.pixels.some((p, k) => p !== first.pixels[k]), `${query}: the picture does not change`);
  }
}

async function badParameters(page, origin) {
  const cases = [['?seed=abc', "seed: not a whole number from -2147483648 to 4294967295: 'abc'"],
                 ['?seed=4294967296', 'seed: not a whole number'], ['?seed=1&time=-1', 'time: not a whole number'],
                 ['?time=5', 'time: needs a seed too'], ['?zoom=2', "unknown parameter 'zoom'"],
                 ['?seed=1&seed=2', "parameter 'seed' is given twice"], ['?unlimited=yes', 'unlimited: takes no value'],
                 ['?engine=fast', "engine: not cpu or gpu: 'fast'"], ['?size=0x5', "size: not WxH with sides 1 to 16384"],
                 ['?size=16385x1', 'size: not WxH'], ['?size=8193x8193', 'size: not WxH'], ['?size=64', 'size: not WxH']];
  for (const [query, line] of cases) {
    await open(page, origin, query);
    const shown = await page.textContent('#problem');
    check(shown.startsWith(line) && !shown.includes('\n') && await page.isVisible('#problem'),
          `${query}: shows "${shown}", not "${line}"`);
    check(await page.evaluate(() => document.body.dataset.renderer) === undefined, `${query}: animates anyway`);
  }
}

// The page's files, as a static host serves them compressed: at most 64 KiB in all.
function pageSize() {
  let plain = 0, packed = 0;
  for (const name of readdirSync(pageDir)) {
    const bytes = readFileSync(join(pageDir, name)), compressed = gzipSync(bytes, {level: 9}).length;
    plain += bytes.length;
    packed += compressed;
    console.log(`     ${name}: ${bytes.length} bytes, ${compressed} gzip-compressed`);
  }
  console.log(`     the page: ${plain} bytes, ${packed} gzip-compressed`);
  check(packed <= 64 * 1024, `the page's files take ${packed} bytes gzip-compressed, over 64 KiB`);
}

// Every console error or warning, exception, failed or outside request of page is a failure.
function watch(page, origin) {
  page.setDefaultTimeout(30 * SECONDS);
  page.on('console', (m) => check(m.type() !== 'error' && m.type() !== 'warning', `console ${m.type()}: ${m.text()}`));
  page.on('pageerror', (e) => check(false, `exception: ${e.message}`));
  page.on('requestfailed', (r) => check(false, `request failed: ${r.url()}`));
  page.on('request', (r) => check(r.url().startsWith(origin) || r.url().startsWith('data:'), `outside request: ${r.url()}`));
  page.on('response', (r) => check(r.status() < 400, `${r.status()} for ${r.url()}`));
}

const {origin, stop} = await servePage(pageDir);
let browser = null;
try {
  browser = await launchChromium(npmDir);
  const page = await browser.newPage();  // the only page: a background tab gets no animation frames
  watch(page, origin);
  const groups = {pageSize, heldMoments, simdAgainstPlain, engines, engineFallbacks, animation, badParameters};
  for (const [name, group] of Object.entries(groups)) {
    const before = failures.length;
    try {
      await group(page, origin);
    } catch (error) {
      check(false, `${name} stopped: ${error.message}`);
    }
    console.log(`${failures.length === before ? 'ok  ' : 'FAIL'} ${name}`);
  }
} catch (error) {
  failures.push(`stopped: ${error.message}`);
} finally {
  if (browser) await browser.close();
  stop();
}
for (const failure of failures) console.log(`  ${failure}`);
process.exit(failures.length === 0 ? 0 : 1);
