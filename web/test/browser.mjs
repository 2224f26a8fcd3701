// Serves the built page on a free loopback port and starts Debian's headless chromium, with what
// it needs as root, without a GPU (swiftshader's WebGL) and without a gesture for sound.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

export async function startBrowser(root, extraArgs = []) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
                  '.wasm': 'application/wasm' };
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://page').pathname);
    const file = path.join(root, name.endsWith('/') ? name + 'index.html' : name);
    fs.readFile(file, (error, data) => {
      response.writeHead(error ? 404 : 200,
          { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
      response.end(error ? '' : data);
    });
  });
  await new Promise((ready) => server.listen(0, '127.0.0.1', ready));
  const address = `http://127.0.0.1:${server.address().port}/`;
  const browser = await chromium.launch({
    executablePath: process.env.QUORVEL_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
           '--disable-component-update', '--disable-background-timer-throttling', ...extraArgs],
  });
  return { address, browser, server };
}
