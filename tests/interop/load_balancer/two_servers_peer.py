#!/usr/bin/env python3
"""Two servers' links to the load balancer, played with python3-websockets.

Usage: two_servers_peer.py BALANCER_PORT

Server A holds connection A1, server B holds B1. Checks that a message from A
for B1 reaches B, that a broadcast reaches both, that binary data for A1
reaches A, that the binding request names a ready server, that B going away
and coming back gets its messages again, and that a second link of B
supersedes the first. Prints PASS, or FAIL and why.
"""
import asyncio
import json
import sys
import urllib.request

import websockets

PORT = int(sys.argv[1])


def compact(members):
    return json.dumps(members, separators=(",", ":"))


def framed(guid="", text="", channel=""):
    header = compact({"guid": guid, "channel": channel, "protocol": "", "include": "", "exclude": ""})
    return "%03d" % len(header) + header + text


async def link(name, binding_port, client):
    ws = await websockets.connect("ws://127.0.0.1:%d/zor@load_balancer_client" % PORT)
    await ws.send(compact({"method": "zor@lb@server@data", "guid": name}))
    await ws.send(compact({"method": "zor@lb@server@binding", "host": "127.0.0.1", "port": binding_port, "ssl": False}))
    await ws.send(compact({"method": "zor@lb@client@connection", "active": True, "guid": client,
                           "ip": "127.0.0.1", "channel": "", "protocol": ""}))
    await ws.send("zor@lb@server@ready")
    # A message for its own client comes back once everything before it was read.
    await ws.send(framed(client, "sync"))
    await expect(ws, framed(client, "sync"), name + " sync")
    return ws


async def expect(ws, wanted, what):
    try:
        got = await asyncio.wait_for(ws.recv(), 10)
    except asyncio.TimeoutError:
        raise AssertionError("%s: nothing came" % what) from None
    if got != wanted:
        raise AssertionError("%s: got %r, wanted %r" % (what, got, wanted))


def binding_port():
    url = "http://127.0.0.1:%d/zor@lb@client@get@binding" % PORT
    with urllib.request.urlopen(url, timeout=10) as answer:
        return json.loads(answer.read())["port"]


async def main():
    a = await link("SERVER-A", 9001, "A1")
    b = await link("SERVER-B", 9002, "B1")

    message = framed("B1", "hello from A")
    await a.send(message)
    await expect(b, message, "A to B1")

    broadcast = framed(text="to all", channel="news")
    await a.send(broadcast)
    await expect(a, broadcast, "broadcast back to A")
    await expect(b, broadcast, "broadcast to B")

    data = b"0000000002A1\x00\x01"
    await b.send(data)
    await expect(a, data, "binary B to A1")

    if binding_port() not in (9001, 9002):
        raise AssertionError("binding names no linked server")

    await b.close()
    for _ in range(100):  # until the balancer has seen B go
        if binding_port() == 9001:
            break
        await asyncio.sleep(0.05)
    else:
        raise AssertionError("B still picked after its link closed")

    b = await link("SERVER-B", 9002, "B1")
    message = framed("B1", "welcome back")
    await a.send(message)
    await expect(b, message, "A to B1 after B came back")

    newer = await link("SERVER-B", 9002, "B1")
    await asyncio.wait_for(b.wait_closed(), 10)
    message = framed("B1", "to the newer link")
    await a.send(message)
    await expect(newer, message, "A to B1 on B's newer link")
    print("PASS", flush=True)


try:
    asyncio.run(main())
except Exception as error:  # the test reads the reason from the output
    print("FAIL: %r" % error, flush=True)
    sys.exit(1)
