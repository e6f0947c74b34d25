#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""TLS in front of a plain TCP peer on 127.0.0.1, for SIP over TLS against sipp.

usage: /usr/bin/python3 tls-forward.py CERT KEY TARGET-PORT

Listens on a free port of 127.0.0.1 and prints "ready PORT". Each TLS connection gets a TCP
connection of its own to TARGET-PORT; bytes go both ways unchanged. Stops when standard input
closes (its parent died) or on SIGTERM.
"""
import asyncio
import ssl
import sys


async def pump(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except (ConnectionError, ssl.SSLError):
        pass
    finally:
        writer.close()


async def main(cert, key, target):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    async def serve(tls_reader, tls_writer):
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", target)
        except OSError:
            tls_writer.close()
            return
        await asyncio.gather(pump(tls_reader, writer), pump(reader, tls_writer))

    server = await asyncio.start_server(serve, "127.0.0.1", 0, ssl=context)
    print("ready", server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.read)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    try:
        asyncio.run(main(sys.argv[1], sys.argv[2], int(sys.argv[3])))
    except KeyboardInterrupt:
        pass
