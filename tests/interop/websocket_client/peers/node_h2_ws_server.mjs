// WebSocket over HTTP/2 (RFC 8441) on Node's own http2 server: an extended
// CONNECT with :protocol websocket is answered 200 and its stream handed to
// the npm "ws" package as the socket of a server-side WebSocket running
// the echo of ws_echo.mjs.
// Usage: node node_h2_ws_server.mjs <port> <cert> <key> [--no-connect | --refuse]
//   --no-connect  SETTINGS_ENABLE_CONNECT_PROTOCOL stays off
//   --refuse      every CONNECT is answered 403
import { readFileSync } from 'node:fs';
import http2 from 'node:http2';
import { WebSocket } from 'ws';
import { serveEcho } from './ws_echo.mjs';

const args = process.argv.slice(2);
const [port, cert, key] = args;
const say = (...parts) => console.log(parts.join(' '));

const server = http2.createSecureServer({
  cert: readFileSync(cert),
  key: readFileSync(key),
  settings: { enableConnectProtocol: !args.includes('--no-connect') },
});

server.on('stream', (stream, headers) => {
  say('request', headers[':method'], headers[':protocol'] || '-', headers[':path'],
      'version=' + headers['sec-websocket-version'], 'protocol=' + (headers['sec-websocket-protocol'] || ''));
  if (headers[':method'] !== 'CONNECT' || headers[':protocol'] !== 'websocket' || args.includes('--refuse')) {
    stream.respond({ ':status': 403 }, { endStream: true });
    return;
  }
  const answer = { ':status': 200 };
  const offered = headers['sec-websocket-protocol'];
  if (offered) answer['sec-websocket-protocol'] = offered.split(',')[0].trim();
  stream.respond(answer);

  const ws = new WebSocket(null, undefined, { autoPong: true });
  ws.setSocket(stream, Buffer.alloc(0), { maxPayload: 64 * 1024 * 1024 });
  serveEcho(ws, say);
  ws.on('error', (error) => say('error', error.message));
});
server.on('session', (session) => session.on('goaway', (code) => say('goaway', code)));

server.listen(Number(port), '127.0.0.1', () => say('ready'));
