#!/usr/bin/env python3
"""The independent peer of the WebSocket interop tests (Python websockets).

server PORT MODE         echo server; the text "close-me" makes it close with 4001 "bye"
client PORT MODE ENDING  sends the test messages, checks their echoes, then ends:
                         a close code, "close-me" (asks the server to close),
                         "drop" (no close frame) or "too-big" (a 2 MiB message)
MODE: plain, deflate, or small (window of 10 bits, no context takeover)
Each side prints one line per event.
"""
import asyncio
import sys

import websockets
from websockets.extensions.permessage_deflate import (
    ClientPerMessageDeflateFactory,
    ServerPerMessageDeflateFactory,
)

MAX_SIZE = 4 << 20


def say(*words):
    print(*words, flush=True)


def server_extensions(mode):
    if mode == "plain":
        return []
    if mode == "small":
        return [ServerPerMessageDeflateFactory(server_no_context_takeover=True, server_max_window_bits=10)]
    return [ServerPerMessageDeflateFactory()]


def client_extensions(mode):
    if mode == "plain":
        return []
    if mode == "small":
        return [
            ClientPerMessageDeflateFactory(
                server_no_context_takeover=True,
                server_max_window_bits=10,
                client_no_context_takeover=True,
                client_max_window_bits=10,
            )
        ]
    return [ClientPerMessageDeflateFactory()]


def test_messages():
    big_text = "".join(chr(ord("a") + (i * 7) % 26) for i in range(1 << 20))
    big_binary = bytes((i * 31) % 256 for i in range(1 << 20))
    return ["hello", b"\x00\x01\x02\xff", "", big_text, big_binary, "caf\u00e9 \u20ac"]


async def echo(ws):
    say("extensions", ",".join(e.name for e in ws.extensions) or "none")
    try:
        async for message in ws:
            if message == "close-me":
                await ws.close(4001, "bye")
                break
            await ws.send(message)
    finally:
        await ws.wait_closed()
        say("closed", ws.close_code, ws.close_reason)


async def server(port, mode):
    async with websockets.serve(
        echo, "127.0.0.1", port, compression=None, extensions=server_extensions(mode), max_size=MAX_SIZE
    ):
        say("ready")
        await asyncio.Future()


async def client(port, mode, ending):
    async with websockets.connect(
        f"ws://127.0.0.1:{port}/", compression=None, extensions=client_extensions(mode), max_size=MAX_SIZE
    ) as ws:
        say("extensions", ",".join(e.name for e in ws.extensions) or "none")
        messages = test_messages()
        for i, message in enumerate(messages):
            await ws.send(message)
            answer = await ws.recv()
            say("echo", i, "ok" if answer == message else "bad")
        await ws.send(["frag", "mented ", "text"])
        say("echo fragmented", "ok" if await ws.recv() == "fragmented text" else "bad")
        if ending == "drop":
            ws.transport.abort()
            say("dropped")
            return
        if ending == "close-me":
            await ws.send("close-me")
        elif ending == "too-big":
            await ws.send(b"x" * (2 << 20))
        else:
            await ws.close(int(ending), "done")
        await ws.wait_closed()
        say("closed", ws.close_code, ws.close_reason)


def main():
    role, port, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    if role == "server":
        asyncio.run(server(port, mode))
    else:
        asyncio.run(client(port, mode, sys.argv[4]))
        say("done")


if __name__ == "__main__":
    main()
