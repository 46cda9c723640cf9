// What the web page's tests, benchmark and run script share: the page's
// folder served on loopback by Python's http.server, and Debian's chromium,
// headless, driven by the pinned playwright-core in NPM_DIR
// (scripts/browser-modules).
import {spawn} from 'node:child_process';
import {createRequire} from 'node:module';
import {resolve} from 'node:path';

const kStartMs = 20000;

// Serves dir on 127.0.0.1 at a free port: {origin, stop}.
export async function servePage(dir) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '0', '--directory', dir],
                       {stdio: ['ignore', 'pipe', 'ignore']});
  try {
    const port = await new Promise((done, fail) => {
      const timer = setTimeout(() => fail(new Error('the HTTP server did not start')), kStartMs);
      server.stdout.on('data', (chunk) => {
        const match = /port ([0-9]+)/.exec(String(chunk));
        if (match) done(match[1], clearTimeout(timer));
      });
      server.on('exit', () => fail(new Error('the HTTP server ended')));
    });
    return {origin: `http://127.0.0.1:${port}`, stop: () => server.kill()};
  } catch (error) {
    server.kill();
    throw error;
  }
}

// A fresh headless chromium (its own profile folder, no network services),
// with WebGL2 drawn by SwiftShader on the CPU and any further command-line
// switches in args (such as --disable-webgl).
export function launchChromium(npmDir, args = []) {
  const {chromium} = createRequire(resolve(npmDir, 'package.json'))('playwright-core');
  return chromium.launch({
    executablePath: '/usr/bin/chromium', timeout: 60000,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-quic',
           '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
           ...args],
  });
}
