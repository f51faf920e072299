// WebSocket server of the client interop tests on the npm "ws" package,
// running the echo of ws_echo.mjs.
// Usage: node node_ws_server.mjs <port> [cert key] [--deflate] [--quiet]
import { readFileSync } from 'node:fs';
import { createServer } from 'node:https';
import { WebSocketServer } from 'ws';
import { serveEcho } from './ws_echo.mjs';

const args = process.argv.slice(2);
const deflate = args.includes('--deflate');
const positional = args.filter((a) => !a.startsWith('--'));
const port = Number(positional[0]);
const options = { perMessageDeflate: deflate, maxPayload: 64 * 1024 * 1024 };
let server;
if (positional.length >= 3) {
  server = createServer({ cert: readFileSync(positional[1]), key: readFileSync(positional[2]) });
  options.server = server;
} else {
  options.port = port;
  options.host = '127.0.0.1';
}
const wss = new WebSocketServer(options);
const quiet = args.includes('--quiet');  // benchmarks: no line per message
const say = (...parts) => quiet || console.log(parts.join(' '));

wss.on('connection', (ws, request) => {
  say('open', request.url, 'extensions=' + (ws.extensions || ''));
  serveEcho(ws, say);
});

const ready = () => say('ready');
if (server) server.listen(port, '127.0.0.1', ready);
else wss.on('listening', ready);
