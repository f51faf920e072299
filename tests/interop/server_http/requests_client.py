"""Python requests against the server's application requests: one kept-alive
session with query parameters, a JSON body, a form upload, the session
cookie, Basic credentials and a HEAD request. Prints one line per check."""
import sys

import requests

base = sys.argv[1]
s = requests.Session()

r = s.get(base + "/echo", params={"q": "a b", "n": "1"})
print("get", r.status_code, r.text)
r = s.post(base + "/echo", json={"k": [1, 2]})
print("json", r.status_code, r.headers["Content-Type"], r.text)
r = s.post(base + "/echo", data={"field": "x&y"})
print("form", r.status_code, r.text)
r = s.post(base + "/upload", files={"file": ("../../evil.txt", b"file-bytes\r\n--not-a-boundary")},
           data={"title": "t"})
print("upload", r.status_code, r.text)
print("cookie", "ZORSESSIONID" in s.cookies)
r = s.get(base + "/session")
print("session", r.status_code, repr(r.text), "ZORSESSIONID" in s.cookies)
r = s.get(base + "/session")
print("session", r.status_code, repr(r.text))
r = s.get(base + "/private", auth=("user", "secret"))
print("auth", r.status_code, r.text)
r = s.get(base + "/private", auth=("user", "wrong"))
print("denied", r.status_code, r.headers.get("WWW-Authenticate"))
r = requests.head(base + "/echo")
print("head", r.status_code, r.headers["Content-Length"], repr(r.text))
print("done")
