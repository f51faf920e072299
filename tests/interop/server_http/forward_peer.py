"""The server a forwarded request reaches: Python's http.server on the address
and port given, answering

  /echo...          the method, target and header lines received, then the body
  /bytes/N          N bytes of a fixed pattern, chunked, with cache lines
  /gzip             a gzip-encoded text
  /redirect/URL     302 to URL
  /status/N         status N with a short body that is not UTF-8
  /close            a body without a length, ended by closing the connection

Every answer carries hop-by-hop lines of its own, which must not reach the
client of the forwarding server. Each request received is printed as
"request METHOD TARGET" so that a test can tell which host was reached."""
import gzip
import http.server
import sys


def pattern(n):
    return bytes((i * 7 + i // 256) % 256 for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def hop_lines(self):
        self.send_header("Connection", "X-Peer-Hop")
        self.send_header("X-Peer-Hop", "1")
        self.send_header("Keep-Alive", "timeout=9")

    def answer(self, status, body, content_type="text/plain", lines=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in lines:
            self.send_header(name, value)
        self.hop_lines()
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        print("request", self.command, self.path, flush=True)
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path.startswith("/echo"):
            seen = "".join("%s: %s\n" % (name, value) for name, value in self.headers.items())
            self.answer(200, ("%s %s\n%s\n" % (self.command, path, seen)).encode() + body)
        elif path.startswith("/bytes/"):
            data = pattern(int(path[len("/bytes/"):]))
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Transfer-Encoding", "chunked")
            self.send_header("ETag", '"v1"')
            self.send_header("Cache-Control", "max-age=60")
            self.hop_lines()
            self.end_headers()
            for start in range(0, len(data), 10000):
                chunk = data[start:start + 10000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
            self.wfile.write(b"0\r\n\r\n")
        elif path == "/gzip":
            self.answer(200, gzip.compress(b"squeezed text " * 100),
                        lines=[("Content-Encoding", "gzip"), ("Vary", "Accept-Encoding")])
        elif path.startswith("/redirect/"):
            self.answer(302, b"moved", lines=[("Location", path[len("/redirect/"):])])
        elif path.startswith("/status/"):
            status = int(path[len("/status/"):])
            lines = [("WWW-Authenticate", 'Basic realm="peer"')] if status == 401 else []
            self.answer(status, b"" if status in (204, 304) else b"status %d \xff\xfe" % status, lines=lines)
        elif path == "/close":
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"until the end")
            self.close_connection = True
        else:
            self.answer(404, b"no such route")

    do_GET = do_HEAD = do_POST = do_PUT = do_PATCH = do_DELETE = do_OPTIONS = handle_any


server = http.server.ThreadingHTTPServer((sys.argv[1], int(sys.argv[2])), Handler)
print("listening", flush=True)
server.serve_forever()
