// The web lane's tests: the cube and card pages (build/web) served on
// 127.0.0.1 and run in headless Chromium, against the hosted lane's
// pictures of the same frames and the card's golden frame.
//   node web_test.js WEB_DIR HOSTED_CUBE GOLDEN_BMP
// Prints a line per test and ends with "web: N passed, M failed"; exits 1
// when any failed.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { PNG } = require('pngjs');
const { serve, launch } = require('./pages');

const [webDir, hostedCube, goldenBmp] = process.argv.slice(2);
// The hosted lane's headless frames as RGBA, by frame number.
function hostedFrames(frames) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cube-web-'));
  execFileSync(hostedCube, [], {
    env: { ...process.env, CUBE_DISPLAY: 'headless', CUBE_REFRESH_HZ: '0', CUBE_CAPTURE_DIR: dir,
           CUBE_CAPTURE_FRAMES: frames.join(','), CUBE_CLOSE_AFTER: String(Math.max(...frames) + 1) },
  });
  const out = {};
  for (const f of frames) {
    const png = PNG.sync.read(fs.readFileSync(path.join(dir, `frame-${String(f).padStart(5, '0')}.png`)));
    out[f] = png.data;
  }
  fs.rmSync(dir, { recursive: true });
  return out;
}

// A bottom-up 24-bit BMP as RGBA.
function readBmp(file) {
  const bytes = fs.readFileSync(file);
  const width = bytes.readInt32LE(18), height = bytes.readInt32LE(22), offset = bytes.readUInt32LE(10);
  const stride = (width * 3 + 3) & ~3;
  const out = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const at = offset + (height - 1 - y) * stride + x * 3, to = (y * width + x) * 4;
      out[to] = bytes[at + 2];
      out[to + 1] = bytes[at + 1];
      out[to + 2] = bytes[at];
      out[to + 3] = 255;
    }
  return out;
}

// Pixels whose colour differs (the fourth byte aside).
function differing(a, b) {
  if (a.length !== b.length) return Infinity;
  let n = 0;
  for (let i = 0; i < a.length; i += 4) n += a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2];
  return n;
}

async function open(browser, url) {
  const page = await browser.newPage();
  const errors = [];
  // Emscripten ends a program by throwing ExitStatus out of it: that is its
  // exit, not an error.
  page.on('pageerror', e => { if (!/^ExitStatus/.test(e.message)) errors.push(e.message); });
  await page.goto(url);
  return { page, errors };
}

async function captures(page, frames) {
  await page.waitForFunction(f => Module.cubeCaptures && f.every(i => Module.cubeCaptures[i]), { timeout: 60000 },
                             frames);
  const out = {};
  for (const f of frames) out[f] = Buffer.from(await page.evaluate(i => Array.from(Module.cubeCaptures[i]), f));
  return out;
}

async function exitCode(page) {
  await page.waitForFunction(() => Module.cubeExitCode !== undefined, { timeout: 30000 });
  return page.evaluate(() => [Module.cubeExitCode, document.getElementById('status').textContent]);
}

async function main() {
  const server = await serve(path.resolve(webDir));
  const base = `http://127.0.0.1:${server.address().port}`;
  const browser = await launch();
  let passed = 0, failed = 0;
  async function test(name, body) {
    try {
      await body();
      ++passed;
      console.log(`ok ${name}`);
    } catch (e) {
      ++failed;
      console.log(`FAILED ${name}: ${e.message}`);
    }
  }
  function check(condition, message) {
    if (!condition) throw new Error(message);
  }

  const frames = [0, 1, 37, 119];
  await test('the cube draws frames 0, 1, 37 and 119 as the hosted lane does', async () => {
    const expected = hostedFrames(frames);
    const { page, errors } = await open(browser, `${base}/cube.html?CUBE_CAPTURE_FRAMES=${frames.join(',')}` +
                                                 '&CUBE_CLOSE_AFTER=120');
    const actual = await captures(page, frames);
    for (const f of frames) check(differing(actual[f], expected[f]) === 0,
                                  `frame ${f}: ${differing(actual[f], expected[f])} pixels differ`);
    const [code] = await exitCode(page);
    check(code === 0, `exit code ${code}`);
    check(errors.length === 0, errors.join('; '));
    await page.close();
  });
  await test('Escape in the page ends the cube with 0 shown', async () => {
    const { page } = await open(browser, `${base}/cube.html`);
    await page.waitForFunction(() => Module.cubePresents > 2, { timeout: 30000 });
    // Held as a person holds it: longer than a frame.
    await page.keyboard.down('Escape');
    await new Promise(resolve => setTimeout(resolve, 100));
    await page.keyboard.up('Escape');
    const [code, status] = await exitCode(page);
    check(code === 0 && status.includes('exit code 0'), `exit code ${code}, "${status}"`);
    await page.close();
  });
  await test('the Close button ends the cube with 0 shown', async () => {
    const { page } = await open(browser, `${base}/cube.html`);
    await page.waitForFunction(() => Module.cubePresents > 2, { timeout: 30000 });
    await page.click('#close');
    const [code, status] = await exitCode(page);
    check(code === 0 && status.includes('exit code 0'), `exit code ${code}, "${status}"`);
    await page.close();
  });
  await test('the card draws frame 0 as the Windows build does', async () => {
    const { page, errors } = await open(browser, `${base}/card.html?CUBE_CAPTURE_FRAMES=0&CUBE_CLOSE_AFTER=1`);
    const actual = await captures(page, [0]);
    const n = differing(actual[0], readBmp(goldenBmp));
    check(n === 0, `${n} pixels differ`);
    check(errors.length === 0, errors.join('; '));
    await page.close();
  });

  await browser.close();
  server.close();
  console.log(`web: ${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main().catch(e => {
  console.log(`web: 0 passed, 1 failed (${e.message})`);
  process.exit(1);
});
