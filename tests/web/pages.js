// The pages' server and browser, for the web lane's tests and benchmark:
// a folder served on 127.0.0.1 (a free port), and headless Chromium.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require('puppeteer-core');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.data': 'application/octet-stream' };

function serve(dir) {
  const server = http.createServer((request, response) => {
    const name = path.join(dir, path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)));
    if (!name.startsWith(dir) || !fs.existsSync(name) || fs.statSync(name).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream' });
    fs.createReadStream(name).pipe(response);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function launch() {
  return puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: 'new', args: ['--no-sandbox'] });
}

module.exports = { serve, launch };
