"""A misbehaving WebSocket server for the client's failure tests, on raw
sockets so that it can break every rule. Usage:
  hostile_server.py <port> <mode> [argument]
Modes:
  frame <hex>        a correct handshake, then the given bytes as the server's frame(s)
  answer <kind>      a broken handshake answer: wrong-key, garbage, status-400,
                     huge-header, subprotocol, extension, no-upgrade
  silent             a correct handshake, then pings are never answered
  redirect <url>     every request is answered "302" with that location
  mute               connections are accepted and never answered
  hangup             the connection is closed once the request is read
Prints "ready", then a line per request and per frame it receives.
"""
import base64
import hashlib
import socket
import sys
import threading

GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"
OPCODES = {0: "continuation", 1: "text", 2: "binary", 8: "close", 9: "ping", 10: "pong"}


def say(*parts):
    print(*parts, flush=True)


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
    head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
    headers = {}
    for line in head[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return head[0], headers


def accept_answer(key, extra=""):
    accept = base64.b64encode(hashlib.sha1(key.encode() + GUID).digest()).decode()
    return ("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: %s\r\n%s\r\n" % (accept, extra)).encode()


def read_frames(conn):
    """Reports the client's frames until it closes; returns on close or EOF."""
    buffer = b""
    while True:
        chunk = conn.recv(65536)
        if not chunk:
            say("eof")
            return
        buffer += chunk
        while len(buffer) >= 2:
            length = buffer[1] & 0x7F
            at = 2
            if length == 126:
                if len(buffer) < 4:
                    break
                length, at = int.from_bytes(buffer[2:4], "big"), 4
            elif length == 127:
                if len(buffer) < 10:
                    break
                length, at = int.from_bytes(buffer[2:10], "big"), 10
            masked = buffer[1] & 0x80
            if len(buffer) < at + (4 if masked else 0) + length:
                break
            key = buffer[at:at + 4] if masked else b"\0\0\0\0"
            at += 4 if masked else 0
            payload = bytes(b ^ key[i % 4] for i, b in enumerate(buffer[at:at + length]))
            opcode = OPCODES.get(buffer[0] & 0x0F, "other")
            buffer = buffer[at + length:]
            if opcode == "close":
                code = int.from_bytes(payload[:2], "big") if len(payload) >= 2 else 0
                say("frame close", code, "masked" if masked else "unmasked")
                return
            say("frame", opcode, payload.decode("latin-1"), "masked" if masked else "unmasked")


def serve(conn, mode, argument, number):
    with conn:
        request = read_request(conn)
        if request is None:
            return
        line, headers = request
        say("request", number, line, "authorization=%s" % headers.get("authorization", "none"))
        key = headers.get("sec-websocket-key", "")
        if mode == "hangup":
            return
        if mode == "mute":
            conn.recv(1)
            return
        if mode == "redirect":
            conn.sendall(("HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n" % argument).encode())
            conn.recv(1)
            return
        if mode == "answer":
            answers = {
                "garbage": "\x00\x01garbage without meaning\r\n\r\n",
                "wrong-key": "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Accept: AAAAAAAAAAAAAAAAAAAAAAAAAAA=\r\n\r\n",
                "status-400": "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n",
                "no-upgrade": "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\nConnection: Upgrade\r\n\r\n",
            }
            if argument == "huge-header":
                conn.sendall(b"HTTP/1.1 101 Switching Protocols\r\n")
                try:
                    for _ in range(100000):
                        conn.sendall(b"X-Filler: " + b"x" * 1000 + b"\r\n")
                except OSError:
                    say("client gave up")
                return
            if argument == "subprotocol":
                conn.sendall(accept_answer(key, "Sec-WebSocket-Protocol: unasked\r\n"))
            elif argument == "extension":
                conn.sendall(accept_answer(key, "Sec-WebSocket-Extensions: x-unknown-extension\r\n"))
            else:
                conn.sendall(answers[argument].encode("latin-1"))
            read_frames(conn)
            return
        conn.sendall(accept_answer(key))
        if mode == "frame":
            conn.sendall(bytes.fromhex(argument))
        read_frames(conn)


def main():
    port, mode = int(sys.argv[1]), sys.argv[2]
    argument = sys.argv[3] if len(sys.argv) > 3 else ""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    say("ready")
    number = 0
    while True:
        conn, _ = listener.accept()
        number += 1
        threading.Thread(target=serve, args=(conn, mode, argument, number), daemon=True).start()


if __name__ == "__main__":
    main()
