#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""SMTP sink on 127.0.0.1 that keeps every message it accepts.

usage: /usr/bin/python3 smtp-sink.py DIR [--port N] [--reject-rcpt ADDR ...] [--exit-on-eof]
                                     [--tls CERT KEY --auth USER:PASSWORD]

Each message goes to DIR/msg-NNNN.eml (the DATA bytes as received, dot-unstuffed) and one
JSON line to DIR/messages.jsonl: n, helo, mail_from, rcpt_tos, file, data (latin-1 text of
the raw bytes). Prints "ready PORT" once listening (port 0 picks a free one). Stops on
SIGTERM/SIGINT, and with --exit-on-eof also when standard input closes (its parent died).
With --tls and --auth it also listens on a STARTTLS port and a TLS port, both requiring
AUTH PLAIN or LOGIN, and prints "ready PORT STARTTLS-PORT TLS-PORT"; records then tell
"tls" and the "login" used.
"""
import argparse
import asyncio
import json
import os
import signal
import ssl
import sys

try:
    from aiosmtpd.smtp import SMTP, AuthResult
except ImportError:
    sys.exit("smtp-sink: python3-aiosmtpd not installed (run scripts/install-deps; use /usr/bin/python3)")


class Sink:
    def __init__(self, folder, rejected):
        self.folder = folder
        self.rejected = {a.lower() for a in rejected}
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address.lower() in self.rejected:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = "msg-%04d.eml" % self.count
        data = envelope.original_content
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)
        record = {"n": self.count, "helo": session.host_name, "mail_from": envelope.mail_from,
                  "rcpt_tos": envelope.rcpt_tos, "file": name, "data": data.decode("latin-1"),
                  "tls": bool(session.ssl) or server.transport.get_extra_info("sslcontext") is not None,
                  "login": (session.login_data or b"").decode("utf-8", "replace")}
        with open(os.path.join(self.folder, "messages.jsonl"), "a") as f:
            f.write(json.dumps(record) + "\n")
        return "250 OK queued as %d" % self.count


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--reject-rcpt", nargs="*", default=[])
    ap.add_argument("--exit-on-eof", action="store_true")
    ap.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    ap.add_argument("--auth", metavar="USER:PASSWORD")
    a = ap.parse_args()
    os.makedirs(a.folder, exist_ok=True)
    sink = Sink(a.folder, a.reject_rcpt)
    loop = asyncio.get_running_loop()
    # hostname given so the banner needs no DNS lookup
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test", data_size_limit=0, decode_data=False),
        "127.0.0.1", a.port)
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    if a.exit_on_eof:
        def on_input():
            if not os.read(sys.stdin.fileno(), 4096):
                stop.set()
        loop.add_reader(sys.stdin.fileno(), on_input)
    ports = [server.sockets[0].getsockname()[1]]
    extra = []
    if a.tls and a.auth:
        user, password = a.auth.encode().split(b":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = auth_data.login == user and auth_data.password == password
            return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*a.tls)
        starttls = await loop.create_server(
            lambda: SMTP(sink, hostname="sink.test", data_size_limit=0, decode_data=False, tls_context=context,
                         require_starttls=True, authenticator=authenticator, auth_required=True),
            "127.0.0.1", 0)
        # TLS from the first byte: the sink's AUTH check does not see that, so it is told.
        implicit = await loop.create_server(
            lambda: SMTP(sink, hostname="sink.test", data_size_limit=0, decode_data=False,
                         authenticator=authenticator, auth_required=True, auth_require_tls=False),
            "127.0.0.1", 0, ssl=context)
        extra = [starttls, implicit]
        ports += [x.sockets[0].getsockname()[1] for x in extra]
    print("ready " + " ".join(str(p) for p in ports), flush=True)
    await stop.wait()
    for x in [server] + extra:
        x.close()
        await x.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
