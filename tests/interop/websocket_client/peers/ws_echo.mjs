// The echo the Node peers of the client tests run on a WebSocket of the npm
// "ws" package: every message comes back; "close:<code>", "ping:<text>",
// "binary:<size>" and "fragments:<a>,<b>" ask for the server's side of a
// test, as in python_ws_server.py. `say` prints one line of the peer's log.
export function serveEcho(ws, say) {
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
}
