// WebSocket server of the client interop tests on the npm "websocket"
// package: echoes every message; "close:<code>", "ping:<text>" and
// "binary:<size>" as in python_ws_server.py. Usage: node node_websocket_server.js <port>
const http = require('node:http');
const WebSocketServer = require('websocket').server;

const port = Number(process.argv[2]);
const say = (...parts) => console.log(parts.join(' '));
const server = http.createServer((request, response) => {
  response.writeHead(404);
  response.end();
});
const wss = new WebSocketServer({
  httpServer: server,
  autoAcceptConnections: false,
  maxReceivedFrameSize: 64 * 1024 * 1024,
  maxReceivedMessageSize: 64 * 1024 * 1024,
  fragmentOutgoingMessages: false,
});

wss.on('request', (request) => {
  const connection = request.accept(null, request.origin);
  say('open', request.resource);
  connection.on('ping', (data) => say('ping', data.toString()));
  connection.on('pong', (data) => say('pong', data.toString()));
  connection.on('message', (message) => {
    if (message.type === 'utf8') {
      const text = message.utf8Data;
      if (text.startsWith('close:')) return connection.close(Number(text.slice(6)), 'bye');
      if (text.startsWith('ping:')) return connection.ping(text.slice(5));
      if (text.startsWith('binary:')) {
        const size = Number(text.slice(7));
        const bytes = Buffer.alloc(size);
        for (let i = 0; i < size; ++i) bytes[i] = i % 251;
        return connection.sendBytes(bytes);
      }
      say('received text', Buffer.byteLength(text));
      return connection.sendUTF(text);
    }
    say('received binary', message.binaryData.length);
    connection.sendBytes(message.binaryData);
  });
  connection.on('close', (code) => say('closed', code));
});

server.listen(port, '127.0.0.1', () => say('ready'));
