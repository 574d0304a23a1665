#!/usr/bin/python3
"""A TCP proxy on 127.0.0.1 that holds every chunk for DELAY ms in each direction, so that a
loopback server looks like one across a network. It counts the client's turns: each time the
client writes after the server has written, one round trip begins.

usage: latency_proxy.py LISTEN_PORT TARGET_PORT DELAY_MS STATS_FILE
Prints "PORT <n>" once it listens; on SIGTERM writes "turns=<n> connections=<n>" to STATS_FILE.
"""
import asyncio
import os
import signal
import sys

turns = 0
connections = 0


async def pipe(reader, writer, delay, side, last):
    global turns
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if side == "client" and last[0] != "client":
                turns += 1
            last[0] = side
            queue.put_nowait((loop.time() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((0, None))
    await sender


async def main():
    listen, target, delay, stats = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]) / 1000, sys.argv[4]

    async def session(client_reader, client_writer):
        global connections
        connections += 1
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
        last = ["server"]  # the greeting comes first
        await asyncio.gather(pipe(client_reader, server_writer, delay, "client", last),
                             pipe(server_reader, client_writer, delay, "server", last),
                             return_exceptions=True)

    server = await asyncio.start_server(session, "127.0.0.1", listen)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.get_running_loop().create_future()
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, lambda: stop.done() or stop.set_result(None))
    await stop
    with open(stats, "w") as f:
        f.write("turns=%d connections=%d\n" % (turns, connections))
    os._exit(0)  # the sessions need no goodbye


if __name__ == "__main__":
    asyncio.run(main())
