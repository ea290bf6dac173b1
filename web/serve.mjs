// Serves the page on this machine only: node web/serve.mjs [PORT] answers
// http://127.0.0.1:PORT/web/ with the files of web/ and js/ (the page and
// the package it loads), and nothing else. Ctrl-C stops it.

import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import { join } from 'node:path';

const ROOT = fileURLToPath(new URL('../', import.meta.url));
const PORT = Number(process.argv[2] ?? 8016);
const TYPES = { html: 'text/html; charset=utf-8', mjs: 'text/javascript', css: 'text/css', wasm: 'application/wasm',
                png: 'image/png' };

const server = createServer(async (request, response) => {
  let path = new URL(request.url, 'http://localhost').pathname;
  if (path === '/' || path === '/web') {
    response.writeHead(302, { location: '/web/' }).end();
    return;
  }
  if (path === '/web/') path += 'index.html';
  const type = TYPES[path.split('.').pop()];
  if (request.method !== 'GET' || !/^\/(web|js)\/[\w.-]+$/.test(path) || !type) {
    response.writeHead(404).end('not found\n');
    return;
  }
  try {
    const body = await readFile(join(ROOT, path));
    response.writeHead(200, { 'content-type': type, 'cache-control': 'no-cache' }).end(body);
  } catch {
    response.writeHead(404).end('not found\n');
  }
});
server.listen(PORT, '127.0.0.1', () => console.log(`geoconv page: http://127.0.0.1:${PORT}/web/  (Ctrl-C stops it)`));
