#!/usr/bin/env python3
"""WebSocket over HTTP/2 (RFC 8441) against an echo server, with Python's h2.

    python_h2_websocket.py PORT [--ca FILE]

Opens one HTTP/2 connection (prior knowledge, or TLS with ALPN "h2" when a
CA file is given), checks that the server allows extended CONNECT, opens two
WebSocket streams, exchanges text and a 200 KiB binary message (more than
the default windows) on them, closes one with a close frame and checks its
answer and its end, then checks the other still echoes. Prints one line per
check ("ok settings", ...) and "done"; a failure prints "failed: ..." and
exits 1.
"""
import argparse
import os
import socket
import ssl
import struct
import sys

import h2.config
import h2.connection
import h2.events
import h2.settings


def ws_frame(opcode, payload):
    """A masked client frame."""
    mask = os.urandom(4)
    head = bytes([0x80 | opcode])
    size = len(payload)
    if size < 126:
        head += bytes([0x80 | size])
    elif size < 65536:
        head += bytes([0x80 | 126]) + struct.pack("!H", size)
    else:
        head += bytes([0x80 | 127]) + struct.pack("!Q", size)
    return head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


def ws_parse(buffer):
    """(opcode, payload, rest) of the first unmasked frame, or None."""
    if len(buffer) < 2:
        return None
    opcode, size, at = buffer[0] & 0x0F, buffer[1] & 0x7F, 2
    if buffer[1] & 0x80:
        raise RuntimeError("the server masked a frame")
    if size == 126:
        if len(buffer) < 4:
            return None
        size, at = struct.unpack("!H", buffer[2:4])[0], 4
    elif size == 127:
        if len(buffer) < 10:
            return None
        size, at = struct.unpack("!Q", buffer[2:10])[0], 10
    if len(buffer) < at + size:
        return None
    return opcode, buffer[at:at + size], buffer[at + size:]


class Client:
    def __init__(self, port, ca):
        raw = socket.create_connection(("127.0.0.1", port), timeout=20)
        if ca:
            context = ssl.create_default_context(cafile=ca)
            context.set_alpn_protocols(["h2"])
            self.sock = context.wrap_socket(raw, server_hostname="localhost")
            if self.sock.selected_alpn_protocol() != "h2":
                raise RuntimeError(f"ALPN chose {self.sock.selected_alpn_protocol()!r}")
        else:
            self.sock = raw
        self.conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=True))
        self.conn.initiate_connection()
        self.flush()
        self.settings = None
        self.responses = {}
        self.data = {}
        self.ended = set()

    def flush(self):
        self.sock.sendall(self.conn.data_to_send())

    def pump(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise RuntimeError("the server closed the connection")
        for event in self.conn.receive_data(chunk):
            if isinstance(event, h2.events.RemoteSettingsChanged):
                self.settings = {code: change.new_value for code, change in event.changed_settings.items()}
            elif isinstance(event, h2.events.ResponseReceived):
                self.responses[event.stream_id] = dict(event.headers)
            elif isinstance(event, h2.events.DataReceived):
                self.data[event.stream_id] = self.data.get(event.stream_id, b"") + event.data
                self.conn.acknowledge_received_data(event.flow_controlled_length, event.stream_id)
            elif isinstance(event, h2.events.StreamEnded):
                self.ended.add(event.stream_id)
            elif isinstance(event, (h2.events.StreamReset, h2.events.ConnectionTerminated)):
                raise RuntimeError(f"unexpected {event}")
        self.flush()

    def until(self, condition):
        while not condition():
            self.pump()

    def upgrade(self, stream):
        self.conn.send_headers(stream, [(":method", "CONNECT"), (":protocol", "websocket"), (":scheme", "http"),
                                        (":path", "/echo"), (":authority", "localhost"),
                                        ("sec-websocket-version", "13")])
        self.flush()
        self.until(lambda: stream in self.responses)
        status = self.responses[stream].get(b":status")
        if status != b"200":
            raise RuntimeError(f"stream {stream} answered {status!r}")

    def send(self, stream, opcode, payload):
        frame = ws_frame(opcode, payload)
        while frame:
            self.until(lambda: self.conn.local_flow_control_window(stream) > 0)
            size = min(len(frame), self.conn.local_flow_control_window(stream), self.conn.max_outbound_frame_size)
            self.conn.send_data(stream, frame[:size])
            self.flush()
            frame = frame[size:]

    def receive(self, stream):
        self.until(lambda: ws_parse(self.data.get(stream, b"")) is not None)
        opcode, payload, rest = ws_parse(self.data[stream])
        self.data[stream] = rest
        return opcode, payload


def run(args):
    client = Client(args.port, args.ca)
    client.until(lambda: client.settings is not None)
    if client.settings.get(h2.settings.SettingCodes.ENABLE_CONNECT_PROTOCOL) != 1:
        raise RuntimeError(f"no extended CONNECT: {client.settings}")
    print("ok settings", flush=True)
    client.upgrade(1)
    client.upgrade(3)
    print("ok upgrade", flush=True)
    for stream in (1, 3):
        text = f"hello on {stream}".encode()
        client.send(stream, 0x1, text)
        if client.receive(stream) != (0x1, text):
            raise RuntimeError(f"stream {stream}: echo differs")
    print("ok text", flush=True)
    large = os.urandom(200 * 1024)
    client.send(1, 0x2, large)
    if client.receive(1) != (0x2, large):
        raise RuntimeError("large echo differs")
    print("ok large", flush=True)
    client.send(1, 0x8, struct.pack("!H", 1000))
    opcode, payload = client.receive(1)
    if opcode != 0x8 or payload[:2] != struct.pack("!H", 1000):
        raise RuntimeError(f"close answer {opcode} {payload!r}")
    client.until(lambda: 1 in client.ended)
    print("ok close 1000", flush=True)
    client.send(3, 0x1, b"still here")
    if client.receive(3) != (0x1, b"still here"):
        raise RuntimeError("the other stream stopped")
    print("ok other stream", flush=True)
    print("done", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--ca")
    args = parser.parse_args()
    try:
        run(args)
    except Exception as error:  # noqa: BLE001 - reported to the test
        print("failed:", repr(error), flush=True)
        sys.exit(1)


if __name__ == "__main__":
    main()
