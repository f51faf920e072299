"""The HTTP answers a WebSocket client asks for before it connects: the load
balancer's binding and a server's session. Usage:
  http_answers.py <port> <ws host> <ws port>
GET /zor@lb@client@get@binding    {"host": <ws host>, "port": <ws port>, "ssl": false}
GET /zor/req/auth/session/<u>/<p> "SESSION-<u>", an extension line and a protocol line
Prints "ready", then one line per request with its path and user agent.
"""
import http.server
import json
import sys
import urllib.parse

PORT, WS_HOST, WS_PORT = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])


class Answers(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        print("request", self.path, "agent=%s" % self.headers.get("User-Agent", ""), flush=True)
        if self.path == "/zor@lb@client@get@binding":
            body = json.dumps({"host": WS_HOST, "port": WS_PORT, "ssl": False}).encode()
        elif self.path.startswith("/zor/req/auth/session/"):
            user = urllib.parse.unquote(self.path.split("/")[5])
            body = ("SESSION-%s\r\npermessage-deflate\r\nchat\r\n" % user).encode()
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Answers)
print("ready", flush=True)
server.serve_forever()
