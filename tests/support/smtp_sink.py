#!/usr/bin/python3
"""An SMTP server for the tests: python3-aiosmtpd on a free loopback port.

Prints the port on its first line, then stores every accepted message in
the folder given: <n>.env holds the sender and the recipients, one per line,
and <n>.eml the message bytes as received (after dot-unstuffing).
"""
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".env", "w") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK"


async def main(folder):
    loop = asyncio.get_running_loop()
    store = Store(folder)
    server = await loop.create_server(
        lambda: SMTP(store, decode_data=False, enable_SMTPUTF8=False, hostname="sink.localhost"),
        "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    # Ends when the test closes our standard input.
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1]))
