// Opens the page at URL in headless Chromium, waits for the title's second
// frame rate (the first includes the start-up), saves a screenshot of the
// page at zoom 2 to PNG and prints the title.   node web_shot.mjs NPM_DIR URL PNG
import {launchChromium} from './web_browser.mjs';

const [npmDir, url, png] = process.argv.slice(2);
const RATE_TITLE = '^Noise animation [0-9]+\\.[0-9]{2} fps$';
const browser = await launchChromium(npmDir);
try {
  const page = await browser.newPage({viewport: {width: 670, height: 480}});
  page.on('pageerror', (error) => console.error(`web_shot: page exception: ${error.message}`));
  await page.goto(url);
  await page.waitForFunction((re) => new RegExp(re).test(document.title), RATE_TITLE, {timeout: 60000});
  await page.keyboard.press('2');
  await page.waitForTimeout(2500);  // the next rate is due 2 s after the first
  await page.screenshot({path: png, fullPage: true});
  console.log(await page.title());
} finally {
  await browser.close();
}
