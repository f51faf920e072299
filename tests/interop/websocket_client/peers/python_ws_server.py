"""WebSocket server of the client interop tests, on the `websockets` library.

Echoes every message. A text message can instead ask for something:
  "close:<code>"        the server closes with that code
  "ping:<text>"         the server pings with that text (its pong is reported)
  "binary:<size>"       the server sends a binary message of that many bytes
  "fragments:<a>,<b>"   the server sends one text message in those fragments
Prints "ready" when it listens, and one line per event the test may look for.
"""
import argparse
import asyncio
import http
import ssl
import sys

import websockets
from websockets.extensions.permessage_deflate import ServerPerMessageDeflateFactory


def say(*parts):
    print(*parts, flush=True)


async def handle(ws, path=None):
    say("open", ws.path, "subprotocol=%s" % (ws.subprotocol or ""),
        "extensions=%s" % ws.response_headers.get("Sec-WebSocket-Extensions", ""))
    for name in ("Authorization", "Origin", "User-Agent"):
        if name in ws.request_headers:
            say("header %s: %s" % (name, ws.request_headers[name]))
    try:
        async for message in ws:
            if isinstance(message, str) and message.startswith("close:"):
                await ws.close(int(message[6:]), "bye")
                break
            if isinstance(message, str) and message.startswith("ping:"):
                waiter = await ws.ping(message[5:])
                await waiter
                say("pong", message[5:])
                continue
            if isinstance(message, str) and message.startswith("binary:"):
                size = int(message[7:])
                await ws.send(bytes(i % 251 for i in range(size)))
                continue
            if isinstance(message, str) and message.startswith("fragments:"):
                await ws.send(message[10:].split(","))
                continue
            kind = "text" if isinstance(message, str) else "binary"
            say("received", kind, len(message.encode() if kind == "text" else message))
            await ws.send(message)
    except websockets.ConnectionClosed:
        pass
    say("closed", ws.close_code)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--deflate", choices=["off", "on", "no-context-takeover", "max-window-bits"], default="off")
    parser.add_argument("--subprotocol", action="append", default=[])
    parser.add_argument("--bearer-secret", help="refuse requests without a valid HS256 bearer token")
    args = parser.parse_args()

    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    extensions = None
    if args.deflate == "on":
        extensions = [ServerPerMessageDeflateFactory()]
    elif args.deflate == "no-context-takeover":
        extensions = [ServerPerMessageDeflateFactory(server_no_context_takeover=True,
                                                     client_no_context_takeover=True)]
    elif args.deflate == "max-window-bits":
        extensions = [ServerPerMessageDeflateFactory(server_max_window_bits=10)]

    def check_token(path, headers):
        if not args.bearer_secret:
            return None
        import jwt
        value = headers.get("Authorization", "")
        if value.startswith("Bearer "):
            try:
                claims = jwt.decode(value[7:], args.bearer_secret, algorithms=["HS256"])
                say("token accepted", claims.get("sub", ""))
                return None
            except jwt.InvalidTokenError as e:
                say("token refused", e)
        return (http.HTTPStatus.UNAUTHORIZED, [], b"unauthorized\n")

    async def serve():
        async with websockets.serve(handle, "127.0.0.1", args.port, ssl=context, compression=None, extensions=extensions,
                                    subprotocols=args.subprotocol or None, process_request=check_token,
                                    max_size=None, ping_interval=None):
            say("ready")
            await asyncio.Future()

    asyncio.run(serve())


if __name__ == "__main__":
    sys.exit(main())
