#!/usr/bin/python3
"""A local SMTP sink for the SMTP benchmark: python3-aiosmtpd on a free
loopback port that accepts and drops every message.

Prints the port on its first line; ends when its standard input closes.
"""
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Drop:
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"


async def main():
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(Drop(), decode_data=False, enable_SMTPUTF8=False, hostname="sink.localhost"),
        "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    # Ends when the benchmark closes our standard input; watched by the event
    # loop itself, so the server stays one thread.
    done = loop.create_future()
    loop.add_reader(sys.stdin.fileno(), lambda: done.done() or (os.read(sys.stdin.fileno(), 4096) or done.set_result(None)))
    await done
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
