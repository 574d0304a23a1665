#!/usr/bin/python3
"""SMTP server for the mail tests on 127.0.0.1: stores each accepted message in DIR as NNNNN.eml
and NNNNN.json (envelope). DIR/control.json, read for every connection and reply, sets: refuse,
silent (DIR/silent.N marks the Nth), reject (addresses, "*" for all), drop_after_data, delay,
auth (user/secret), smtputf8, no_ehlo, data_reply, max_connections, drop_data (DATA numbers),
stall_rcpt and hold (addresses whose RCPT, or whose final reply, waits for an hour; DIR/stall.A
and DIR/hold.A mark the wait).
Prints "PORT <n>"; ends on SIGTERM or when its standard input closes.
"""
import argparse
import asyncio
import json
import os
import re
import signal
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

warnings.filterwarnings("ignore")  # aiosmtpd deprecation notes would clutter the test output


def control(directory):
    try:
        with open(os.path.join(directory, "control.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class Handler:
    def __init__(self, directory):
        self.directory = directory
        self.count = len([n for n in os.listdir(directory) if n.endswith(".eml")])
        self.data_seen = 0
        self.connections = 0

    async def wait(self, kind, address):
        open(os.path.join(self.directory, "%s.%s" % (kind, address)), "w").close()
        await asyncio.sleep(3600)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in control(self.directory).get("stall_rcpt", []):
            await self.wait("stall", address)
        reject = control(self.directory).get("reject", [])
        if "*" in reject or address in reject:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        ctl = control(self.directory)
        self.data_seen += 1
        if self.data_seen in ctl.get("drop_data", []):
            server.transport.abort()
            return "421 4.4.2 dropped"
        if any(a in ctl.get("hold", []) for a in envelope.rcpt_tos):
            await self.wait("hold", envelope.rcpt_tos[0])
        if ctl.get("data_reply"):
            return ctl["data_reply"]
        if ctl.get("drop_after_data"):
            server.transport.abort()
            return "421 4.4.2 dropped"
        delay = float(ctl.get("delay", 0))
        if delay > 0:
            await asyncio.sleep(delay)
        self.count += 1
        base = os.path.join(self.directory, "%05d" % self.count)
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        meta = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                "peer": "%s:%d" % tuple(session.peer[:2]),
                "authenticated": bool(getattr(session, "authenticated", False))}
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump(meta, f)
        os.replace(base + ".tmp", base + ".eml")
        return "250 2.0.0 Ok: queued as %05d" % self.count


class Server(SMTP):
    def __init__(self, handler, **kwargs):
        super().__init__(handler, hostname="test.localhost", **kwargs)
        self.directory = handler.directory

    async def smtp_EHLO(self, hostname):
        if control(self.directory).get("no_ehlo"):
            await self.push("502 5.5.1 EHLO is not offered here")
            return
        await super().smtp_EHLO(hostname)

    async def smtp_RCPT(self, arg):
        # Strict, as RFC 5321's path syntax is: no blank inside the angle brackets.
        if arg and re.search(r"<\s|\s>", arg):
            await self.push("501 5.1.3 Bad recipient address syntax")
            return
        await super().smtp_RCPT(arg)


class Refuser(asyncio.Protocol):
    def connection_made(self, transport):
        transport.write(b"554 5.3.2 Service refused by the test server\r\n")
        transport.close()


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (getattr(auth_data, "login", None) == b"user" and getattr(auth_data, "password", None) == b"secret")
    return AuthResult(success=ok, handled=False)


def serve(start):
    """Runs start(dir, port) -> server; prints its port and waits for the end."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    async def run():
        server = await start(args.dir, args.port)
        print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
        loop = asyncio.get_running_loop()
        stop = loop.create_future()
        loop.add_signal_handler(signal.SIGTERM, lambda: stop.done() or stop.set_result(None))
        loop.add_reader(sys.stdin.fileno(), lambda: (os.read(sys.stdin.fileno(), 4096) or
                                                     (stop.done() or stop.set_result(None))))
        await stop
        server.close()

    asyncio.run(run())


async def start(directory, port):
    handler = Handler(directory)

    def factory():
        ctl = control(directory)
        handler.connections += 1
        if ctl.get("refuse") or handler.connections > ctl.get("max_connections", handler.connections):
            return Refuser()
        if ctl.get("silent"):
            open(os.path.join(directory, "silent.%d" % handler.connections), "w").close()
            return asyncio.Protocol()
        options = {"enable_SMTPUTF8": bool(ctl.get("smtputf8"))}
        if ctl.get("auth"):
            options.update(authenticator=authenticator, auth_require_tls=False)
        return Server(handler, **options)

    return await asyncio.get_running_loop().create_server(factory, "127.0.0.1", port, reuse_address=True)


if __name__ == "__main__":
    serve(start)
