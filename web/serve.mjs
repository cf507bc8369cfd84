// Serves this folder (the page, the package and tinvoicer.wasm) on this machine only, for a
// browser on it: 127.0.0.1 is a secure context, so the page may ask for the microphone there.
// Usage: node serve.mjs [--port N]   (default 8030; 0 picks a free port). Prints the address.
import { createServer } from 'node:http';
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('.', import.meta.url));
const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.wasm': 'application/wasm',
  '.wav': 'audio/wav',
  '.png': 'image/png',
};

function portFrom(args) {
  const at = args.indexOf('--port');
  const port = at < 0 ? 8030 : Number(args[at + 1]);
  if (!Number.isInteger(port) || port < 0 || port > 65535) throw new Error('--port takes a port number (0 picks a free one)');
  return port;
}

async function fileFor(url) {
  let path = normalize(join(root, decodeURIComponent(new URL(url, 'http://host').pathname)));
  if (!path.startsWith(root) || path.split(sep).includes('node_modules')) return null;
  if ((await stat(path).catch(() => null))?.isDirectory()) path = join(path, 'index.html');
  return (await stat(path).catch(() => null))?.isFile() ? path : null;
}

const server = createServer(async (request, response) => {
  const path = request.method === 'GET' || request.method === 'HEAD' ? await fileFor(request.url).catch(() => null) : null;
  if (!path) {
    response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
    return;
  }
  response.writeHead(200, { 'Content-Type': types[extname(path)] ?? 'application/octet-stream', 'Cache-Control': 'no-store' });
  if (request.method === 'HEAD') response.end();
  else createReadStream(path).pipe(response);
});

try {
  server.listen(portFrom(process.argv.slice(2)), '127.0.0.1', () => {
    console.log(`Tinvoicer: http://127.0.0.1:${server.address().port}/`);
  });
  server.on('error', (error) => {
    console.error(`serve: ${error.message}`);
    process.exit(1);
  });
} catch (error) {
  console.error(`serve: ${error.message}`);
  process.exit(2);
}
