#!/usr/bin/env python3
"""Echo checks against a WebSocket server with Python's websockets client.

    python_ws_client.py URL [--ca FILE] [--deflate] [--protocol NAME]

Sends text, binary, empty and 1 MiB messages, checks each echo, closes
normally and prints one line per check ("ok text", ...) and "done" at the end;
a failure prints "failed: ..." and exits 1.
"""
import argparse
import asyncio
import ssl
import sys

import websockets


async def run(args):
    context = None
    if args.url.startswith("wss:"):
        context = ssl.create_default_context(cafile=args.ca)
    compression = "deflate" if args.deflate else None
    protocols = [args.protocol] if args.protocol else None
    async with websockets.connect(args.url, ssl=context, compression=compression, subprotocols=protocols,
                                  max_size=None, ping_interval=None) as ws:
        if args.deflate:
            offered = ws.response_headers.get("Sec-WebSocket-Extensions", "")
            if "permessage-deflate" not in offered:
                raise RuntimeError("permessage-deflate was not negotiated: " + offered)
            print("ok deflate", flush=True)
        if args.protocol:
            if ws.subprotocol != args.protocol:
                raise RuntimeError(f"subprotocol {ws.subprotocol!r}")
            print("ok protocol", flush=True)
        cases = [("text", "héllo wörld"), ("binary", bytes(range(256))), ("empty", ""),
                 ("large", "x" * (1 << 20))]
        for name, message in cases:
            await ws.send(message)
            answer = await asyncio.wait_for(ws.recv(), timeout=20)
            if answer != message:
                raise RuntimeError(f"{name}: echo differs ({len(answer)} of {len(message)})")
            print("ok", name, flush=True)
        await ws.close(code=1000)
        print("ok close", ws.close_code, flush=True)
    print("done", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("--ca")
    parser.add_argument("--deflate", action="store_true")
    parser.add_argument("--protocol")
    args = parser.parse_args()
    try:
        asyncio.run(run(args))
    except Exception as error:  # noqa: BLE001 - reported to the test
        print("failed:", repr(error), flush=True)
        sys.exit(1)


if __name__ == "__main__":
    main()
