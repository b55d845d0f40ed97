// The web lane's figures beside the hosted lane's, from one run: the
// unpaced cube's frame rate in headless Chromium and on the hosted headless
// display (through its present log), the paced cube's rate in the browser,
// and the pages' files gzip-compressed.
//   node web_bench.js WEB_DIR HOSTED_CUBE [--repeat N]
// bench/web_bench.sh builds both lanes and runs it.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { execFileSync } = require('child_process');
const { serve, launch } = require('../tests/web/pages');

const args = process.argv.slice(2);
const [webDir, hostedCube] = args;
const repeatAt = args.indexOf('--repeat');
const repeat = repeatAt >= 0 ? Number(args[repeatAt + 1]) : 3;
const kHostedFrames = 20000;
const kWindowMs = 3000;

function median(values) {
  const v = [...values].sort((a, b) => a - b);
  return v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
}

// Frames a second of the hosted cube, unpaced, between its first and last
// logged presents.
function hostedFps() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cube-web-bench-'));
  const log = path.join(dir, 'presents.log');
  execFileSync(hostedCube, [], { env: { ...process.env, CUBE_DISPLAY: 'headless', CUBE_REFRESH_HZ: '0',
                                        CUBE_CLOSE_AFTER: String(kHostedFrames), CUBE_PRESENT_LOG: log } });
  const times = fs.readFileSync(log, 'utf8').trim().split('\n').map(line => Number(line.split(' ')[1]));
  fs.rmSync(dir, { recursive: true });
  return (times.length - 1) * 1e9 / (times[times.length - 1] - times[0]);
}

// Frames a second of a page's cube over a window of kWindowMs, once it runs.
async function pageFps(browser, url) {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction(() => Module.cubePresents > 100, { timeout: 30000 });
  const sample = () => page.evaluate(() => [Module.cubePresents, performance.now()]);
  const [n0, t0] = await sample();
  await new Promise(resolve => setTimeout(resolve, kWindowMs));
  const [n1, t1] = await sample();
  await page.close();
  return (n1 - n0) * 1000 / (t1 - t0);
}

function gzipped(file) {
  return fs.existsSync(file) ? zlib.gzipSync(fs.readFileSync(file), { level: 9 }).length : 0;
}

function row(figure, measured, baseline) {
  console.log(`${figure.padEnd(52)} ${measured.padEnd(26)} ${baseline}`);
}

async function main() {
  const server = await serve(path.resolve(webDir));
  const base = `http://127.0.0.1:${server.address().port}`;
  const browser = await launch();
  row('figure', 'measured', 'baseline (same run) / aim');
  // Taken in turns, so both lanes see the same machine.
  const hosted = [], web = [];
  for (let r = 0; r < repeat; ++r) {
    hosted.push(hostedFps());
    web.push(await pageFps(browser, `${base}/cube.html?CUBE_REFRESH_HZ=0`));
  }
  const runs = values => values.map(v => v.toFixed(0)).join(', ');
  row('unpaced cube, hosted headless display', `${median(hosted).toFixed(0)} fps`, `runs: ${runs(hosted)}`);
  row('unpaced cube, headless Chromium', `${median(web).toFixed(0)} fps`,
      `${(100 * median(web) / median(hosted)).toFixed(0)} % of the hosted rate (aim >= 50 %); runs: ${runs(web)}`);
  const paced = await pageFps(browser, `${base}/cube.html`);
  row('paced cube, headless Chromium', `${paced.toFixed(1)} fps`, "the browser's animation frames");
  for (const name of ['cube', 'card']) {
    const files = ['js', 'wasm', 'data'].map(ext => [ext, gzipped(path.join(webDir, `${name}.${ext}`))])
      .filter(([, size]) => size > 0);
    const total = files.reduce((sum, [, size]) => sum + size, 0);
    row(`${name} page, gzip -9`, `${(total / 1000).toFixed(0)} kB`,
        files.map(([ext, size]) => `.${ext} ${(size / 1000).toFixed(0)} kB`).join(', ') +
        (name === 'cube' ? ' (aim < 300 kB)' : ''));
  }
  await browser.close();
  server.close();
}

main().catch(e => {
  console.error(`web_bench: ${e.message}`);
  process.exit(1);
});
