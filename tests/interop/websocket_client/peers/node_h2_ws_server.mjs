// WebSocket over HTTP/2 (RFC 8441) on Node's own http2 server: an extended
// CONNECT with :protocol websocket is answered 200 and its stream handed to
// the npm "ws" package as the socket of a server-side WebSocket, which
// echoes like node_ws_server.mjs ("close:<code>", "ping:<text>",
// "binary:<size>" and "fragments:<a>,<b>" ask for the server's side of a
// test).
// Usage: node node_h2_ws_server.mjs <port> <cert> <key> [--no-connect | --refuse]
//   --no-connect  SETTINGS_ENABLE_CONNECT_PROTOCOL stays off
//   --refuse      every CONNECT is answered 403
import { readFileSync } from 'node:fs';
import http2 from 'node:http2';
import { WebSocket } from 'ws';

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
  ws.on('error', (error) => say('error', error.message));
});
server.on('session', (session) => session.on('goaway', (code) => say('goaway', code)));

server.listen(Number(port), '127.0.0.1', () => say('ready'));
