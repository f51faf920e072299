"""JWT peer on PyJWT. Reads one command a line from stdin, answers one line:

  verify ALG KEYFILE TOKEN   -> "ok <claims as JSON>" or "reject <reason>"
  sign ALG KEYFILE CLAIMS    -> the token (CLAIMS is compact JSON without blanks)
  sign-zero ALG KEYFILE      -> an ES token whose R or S begins with a zero byte
  sign-none CLAIMS           -> an unsigned token (alg "none")

For HS algorithms KEYFILE holds the secret itself.
"""
import base64
import json
import sys

import jwt

SIZES = {"ES256": 64, "ES384": 96, "ES512": 132}


def key_of(path):
    with open(path) as f:
        return f.read()


def signature_bytes(token):
    part = token.rsplit(".", 1)[1]
    return base64.urlsafe_b64decode(part + "=" * (-len(part) % 4))


def answer(words):
    if words[0] == "verify":
        alg, keyfile, token = words[1:4]
        try:
            claims = jwt.decode(token, key_of(keyfile), algorithms=[alg],
                                options={"verify_aud": False})
            return "ok " + json.dumps(claims, separators=(",", ":"), sort_keys=True)
        except Exception as e:  # every refusal is an answer, not a failure
            return "reject " + type(e).__name__
    if words[0] == "sign":
        alg, keyfile, claims = words[1:4]
        return jwt.encode(json.loads(claims), key_of(keyfile), algorithm=alg)
    if words[0] == "sign-zero":
        alg, keyfile = words[1:3]
        half = SIZES[alg] // 2
        for i in range(100000):
            token = jwt.encode({"n": i}, key_of(keyfile), algorithm=alg)
            sig = signature_bytes(token)
            if sig[0] == 0 or sig[half] == 0:
                return token
        return "none-found"
    if words[0] == "sign-none":
        return jwt.encode(json.loads(words[1]), None, algorithm="none")
    return "unknown command"


for line in sys.stdin:
    words = line.split()
    if words:
        print(answer(words), flush=True)
