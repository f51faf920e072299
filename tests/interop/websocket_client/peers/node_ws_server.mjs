// WebSocket server of the client interop tests on the npm "ws" package:
// echoes every message; "close:<code>", "ping:<text>", "binary:<size>" and
// "fragments:<a>,<b>" ask for the server's side of a test, as in
// python_ws_server.py. Usage: node node_ws_server.mjs <port> [cert key] [--deflate] [--quiet]
import { readFileSync } from 'node:fs';
import { createServer } from 'node:https';
import { WebSocketServer } from 'ws';

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
  ws.on('ping', (data) => say('ping', data.toString()));
  ws.on('pong', (data) => say('pong', data.toString()));
  ws.on('message', (data, isBinary) => {
    const text = isBinary ? null : data.toString();
    if (text?.startsWith('close:')) return ws.close(Number(text.slice(6)), 'bye');
    if (text?.startsWith('ping:')) return ws.ping(text.slice(5));
    if (text?.startsWith('binary:')) {
      const size = Number(text.slice(7));
      const bytes = Buffer.alloc(size);
      for (let i = 0; i < size; ++i) bytes[i] = i % 251;
      return ws.send(bytes);
    }
    if (text?.startsWith('fragments:')) {
      const parts = text.slice(10).split(',');
      parts.forEach((part, i) => ws.send(part, { fin: i === parts.length - 1 }));
      return;
    }
    say('received', isBinary ? 'binary' : 'text', data.length);
    ws.send(data, { binary: isBinary });
  });
  ws.on('close', (code) => say('closed', code));
});

const ready = () => say('ready');
if (server) server.listen(port, '127.0.0.1', ready);
else wss.on('listening', ready);
