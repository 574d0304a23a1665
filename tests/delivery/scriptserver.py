#!/usr/bin/python3
"""A scripted, unfriendly SMTP server for the client tests on 127.0.0.1, run like smtpserver.py.

NNNNN.json also holds "turns" (answers from MAIL to the final reply) and "early" (commands sent
before the answer to the one before, without PIPELINING). control.json, read per connection,
numbers messages and connections from 1: pipelining (default true), split (replies byte by
byte), reject, delay + delay_at, drop_before (no final reply), drop_after (250, then close),
idle_421, mail_421, greeting_421 (connections), bare_final (250 without CRLF, then close).
"""
import argparse
import asyncio
import json
import os
import signal
import sys


def control(directory):
    try:
        with open(os.path.join(directory, "control.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class State:
    def __init__(self, directory):
        self.directory = directory
        self.messages = 0  # transactions begun
        self.stored = 0
        self.connections = 0

    def store(self, sender, rcpts, data, turns, early):
        self.stored += 1
        base = os.path.join(self.directory, "%05d" % self.stored)
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump({"mail_from": sender, "rcpt_tos": rcpts, "turns": turns, "early": early}, f)
        with open(base + ".tmp", "wb") as f:
            f.write(data)
        os.replace(base + ".tmp", base + ".eml")


async def session(state, reader, writer):
    ctl = control(state.directory)
    state.connections += 1
    split = ctl.get("split", False)

    async def say(lines):
        out = b"".join(l.encode() + b"\r\n" for l in lines)
        if split:
            for i in range(len(out)):
                writer.write(out[i:i + 1])
                await writer.drain()
                await asyncio.sleep(0.001)
        else:
            writer.write(out)
            await writer.drain()

    if state.connections in ctl.get("greeting_421", []):
        await say(["421 4.3.2 Too busy, try later"])
        writer.close()
        return
    await say(["220 script.localhost ESMTP"])
    pipelining = ctl.get("pipelining", True)
    buf = b""
    # The transaction: its number (0 for none), sender, recipients (None in the data), the
    # times the server answered, and commands sent before the answer to the one before.
    number, sender, rcpts, turns, early = 0, None, [], 0, 0
    closing = False
    while not closing:
        chunk = await reader.read(65536)
        if not chunk:
            break
        buf += chunk
        replies = []
        while not closing:
            if number and rcpts is None:  # in the data
                end = buf.find(b"\r\n.\r\n")
                if end < 0:
                    break
                data, buf = buf[:end + 2], buf[end + 5:]
                data = data.replace(b"\r\n..", b"\r\n.")
                if data.startswith(b".."):
                    data = data[1:]
                if number in ctl.get("drop_before", []):
                    writer.transport.abort()
                    return
                if number in ctl.get("delay_at", []):
                    await asyncio.sleep(float(ctl.get("delay", 0)))
                state.store(sender, stored, data, turns + 1, early)
                if number in ctl.get("bare_final", []):
                    writer.write(b"250 2.0.0 Ok: queued")
                    await writer.drain()
                    writer.close()
                    return
                replies.append("250 2.0.0 Ok: queued")
                if number in ctl.get("idle_421", []):
                    replies.append("421 4.4.2 Idle for too long, closing")
                closing = number in ctl.get("drop_after", []) + ctl.get("idle_421", [])
                number, sender, rcpts = 0, None, []
            else:
                end = buf.find(b"\r\n")
                if end < 0:
                    break
                line, buf = buf[:end].decode("utf-8", "replace"), buf[end + 2:]
                verb = line[:4].upper()
                address = line[line.find("<") + 1:line.find(">")]
                if verb == "EHLO":
                    replies += ["250-script.localhost", "250-SIZE 10000000", "250-8BITMIME"]
                    replies += ["250-PIPELINING"] if pipelining else []
                    replies.append("250 HELP")
                elif verb == "HELO":
                    replies.append("250 script.localhost")
                elif verb == "MAIL":
                    state.messages += 1
                    number, sender, rcpts, turns, early = state.messages, address, [], 0, 0
                    if number in ctl.get("mail_421", []):
                        replies.append("421 4.3.2 Shutting down")
                        closing = True
                    else:
                        replies.append("250 2.1.0 Ok")
                elif verb == "RCPT":
                    if address in ctl.get("reject", []):
                        replies.append("550 5.1.1 <%s>: Recipient address rejected" % address)
                    else:
                        rcpts.append(address)
                        replies.append("250 2.1.5 Ok")
                elif verb == "DATA":
                    if not number or not rcpts:
                        replies.append("554 5.5.1 No valid recipients")
                    else:
                        stored, rcpts = rcpts, None
                        replies.append("354 End data with <CR><LF>.<CR><LF>")
                elif verb == "RSET":
                    number, sender, rcpts = 0, None, []
                    replies.append("250 2.0.0 Ok")
                elif verb == "QUIT":
                    replies.append("221 2.0.0 Bye")
                    closing = True
                else:
                    replies.append("502 5.5.2 Not understood")
            if not pipelining and buf:
                early += 1
        if replies:
            turns += 1 if number else 0
            await say(replies)
    writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    state = State(args.dir)
    server = await asyncio.start_server(lambda r, w: session(state, r, w), "127.0.0.1", args.port,
                                        reuse_address=True)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, lambda: stop.done() or stop.set_result(None))
    loop.add_reader(sys.stdin.fileno(), lambda: (os.read(sys.stdin.fileno(), 4096) or
                                                 (stop.done() or stop.set_result(None))))
    await stop
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
