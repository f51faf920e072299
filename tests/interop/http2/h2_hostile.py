"""Hostile HTTP/2 sequences against a server on 127.0.0.1:PORT (cleartext,
prior knowledge), each on a fresh connection. Prints one line per case:
"<case> <what came back>", then "DONE"."""
import socket
import sys

import hpack
import h2.config
import h2.connection
import h2.events
import h2.settings
from hyperframe.frame import (ContinuationFrame, DataFrame, Frame, GoAwayFrame, HeadersFrame, PingFrame,
                              RstStreamFrame, SettingsFrame, WindowUpdateFrame)

PORT = int(sys.argv[1])
ENCODER = hpack.Encoder()  # the one context of the raw header blocks (one case at a time)
REQUEST = [(":method", "GET"), (":scheme", "http"), (":path", "/"), (":authority", "localhost")]


def connect():
    global ENCODER
    ENCODER = hpack.Encoder()
    sock = socket.create_connection(("127.0.0.1", PORT), timeout=10)
    conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=True, header_encoding="utf-8"))
    conn.initiate_connection()
    sock.sendall(conn.data_to_send())
    return sock, conn


def verdict(sock, raw, skip_responses):
    """What the server answers to `raw`: the first GOAWAY or RST_STREAM (or
    response), read frame by frame, whatever the client's own state."""
    if raw:
        sock.sendall(raw)
    buffer = b""
    decoder = hpack.Decoder()
    while True:
        while len(buffer) >= 9:
            frame, length = Frame.parse_frame_header(memoryview(buffer[:9]))
            if len(buffer) < 9 + length:
                break
            frame.parse_body(memoryview(buffer[9:9 + length]))
            buffer = buffer[9 + length:]
            if isinstance(frame, GoAwayFrame):
                return "GOAWAY %d" % frame.error_code
            if isinstance(frame, RstStreamFrame):
                return "RST_STREAM %d %d" % (frame.stream_id, frame.error_code)
            if isinstance(frame, HeadersFrame):
                status = dict(decoder.decode(frame.data)).get(":status")
                if not skip_responses:
                    return "RESPONSE %s" % status
        try:
            data = sock.recv(65536)
        except (socket.timeout, ConnectionResetError):
            return "nothing"
        if not data:
            return "closed"
        buffer += data


def raw_headers(conn, stream_id, headers, flags):
    frame = HeadersFrame(stream_id)
    frame.data = ENCODER.encode(headers)
    frame.flags = set(flags)
    return frame.serialize()


def case(name, build):
    sock, conn = connect()
    try:
        raw = build(sock, conn)
        print(name, verdict(sock, raw, name != "good_request_after_all"), flush=True)
    finally:
        sock.close()


def data_on_idle(sock, conn):
    frame = DataFrame(5, b"x")
    return frame.serialize()


def headers_even(sock, conn):
    return raw_headers(conn, 2, REQUEST, ["END_HEADERS", "END_STREAM"])


def uppercase_header(sock, conn):
    return raw_headers(conn, 1, REQUEST + [("X-Upper", "1")], ["END_HEADERS", "END_STREAM"])


def connection_header(sock, conn):
    return raw_headers(conn, 1, REQUEST + [("connection", "close")], ["END_HEADERS", "END_STREAM"])


def window_overflow(sock, conn):
    return WindowUpdateFrame(0, 0x7FFFFFFF).serialize()


def window_zero_on_stream(sock, conn):
    return raw_headers(conn, 1, REQUEST, ["END_HEADERS"]) + WindowUpdateFrame(1, 0).serialize()


def settings_bad_push(sock, conn):
    frame = SettingsFrame(0)
    frame.settings = {h2.settings.SettingCodes.ENABLE_PUSH: 2}
    return frame.serialize()


def settings_on_stream(sock, conn):
    return b"\x00\x00\x00\x04\x00\x00\x00\x00\x01"  # hyperframe refuses to build it


def ping_wrong_size(sock, conn):
    return b"\x00\x00\x07\x06\x00\x00\x00\x00\x00" + b"\x00" * 7


def continuation_flood(sock, conn):
    first = raw_headers(conn, 1, REQUEST, [])
    filler = b"".join(ContinuationFrame(1, data=b"\x40\x01a\x01b" * 3000).serialize() for _ in range(40))
    return first + filler


def interleaved_header_block(sock, conn):
    return raw_headers(conn, 1, REQUEST, []) + PingFrame(0).serialize()


def data_after_end_stream(sock, conn):
    return raw_headers(conn, 1, REQUEST, ["END_HEADERS", "END_STREAM"]) + DataFrame(1, b"late").serialize()


def content_length_mismatch(sock, conn):
    headers = [(":method", "POST"), (":scheme", "http"), (":path", "/echo"), (":authority", "localhost"),
               ("content-length", "10")]
    return raw_headers(conn, 1, headers, ["END_HEADERS"]) + DataFrame(1, b"123", flags=["END_STREAM"]).serialize()


def rapid_reset(sock, conn):
    out = b""
    for i in range(1200):
        sid = 2 * i + 1
        out += raw_headers(conn, sid, REQUEST, ["END_HEADERS"]) + RstStreamFrame(sid, error_code=8).serialize()
    return out


def self_dependency(sock, conn):
    return b"\x00\x00\x05\x02\x00\x00\x00\x00\x03" + b"\x00\x00\x00\x03\x10"  # PRIORITY 3 on 3


def good_request_after_all(sock, conn):
    return raw_headers(conn, 1, REQUEST, ["END_HEADERS", "END_STREAM"])


for name, build in [("data_on_idle", data_on_idle), ("headers_even", headers_even),
                    ("uppercase_header", uppercase_header), ("connection_header", connection_header),
                    ("window_overflow", window_overflow), ("window_zero_on_stream", window_zero_on_stream),
                    ("settings_bad_push", settings_bad_push), ("settings_on_stream", settings_on_stream),
                    ("ping_wrong_size", ping_wrong_size), ("continuation_flood", continuation_flood),
                    ("interleaved_header_block", interleaved_header_block),
                    ("data_after_end_stream", data_after_end_stream),
                    ("content_length_mismatch", content_length_mismatch), ("rapid_reset", rapid_reset),
                    ("self_dependency", self_dependency), ("good_request_after_all", good_request_after_all)]:
    case(name, build)
print("DONE", flush=True)
