"""An SMTP server for the tests: python3-aiosmtpd on 127.0.0.1 (or the
loopback address given), on a free port or the one given. It prints "PORT <n>" once it listens and keeps every
message it accepts in the folder given, as <n>.eml (the data as received,
dot-unstuffed, CR LF kept) and <n>.env (the sender and the recipients, one a
line). Each connection appends a line to "connections", each HELO its name to
"helo".

Modes: accept (default); stall (the data are never answered); refuse (MAIL
FROM is refused with 550).

Run it with Debian's /usr/bin/python3, which has aiosmtpd.
"""

import argparse
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder, mode):
        self.folder = folder
        self.mode = mode
        self.count = 0

    def append(self, name, text):
        with open(os.path.join(self.folder, name), "a", encoding="utf-8") as f:
            f.write(text + "\n")

    async def handle_HELO(self, server, session, envelope, hostname):
        self.append("helo", hostname)
        session.host_name = hostname
        return "250 {}".format(server.hostname)

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.mode == "refuse":
            return "550 5.7.1 Sender refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.mode == "stall":
            await asyncio.sleep(3600)
        self.count += 1
        base = os.path.join(self.folder, "%03d" % self.count)
        # The .env first: a reader that sees the .eml finds its envelope.
        with open(base + ".env.tmp", "w", encoding="utf-8") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        os.rename(base + ".env.tmp", base + ".env")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 Message accepted"


class CountingSMTP(SMTP):
    def connection_made(self, transport):
        self.event_handler.append("connections", "open")
        super().connection_made(transport)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", default="accept", choices=["accept", "stall", "refuse"])
    args = parser.parse_args()
    sink = Sink(args.folder, args.mode)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: CountingSMTP(sink, hostname="sink.test", decode_data=False),
        host=args.host, port=args.port)
    port = server.sockets[0].getsockname()[1]
    print("PORT %d" % port, flush=True)
    # Ends when the test closes our standard input (or kills us).
    await loop.connect_read_pipe(lambda: EndOnEof(), sys.stdin)
    await stop.wait()
    server.close()


class EndOnEof(asyncio.Protocol):
    def eof_received(self):
        stop.set()

    def connection_lost(self, exc):
        stop.set()


stop = None

if __name__ == "__main__":
    async def run():
        global stop
        stop = asyncio.Event()
        await main()
    asyncio.run(run())
