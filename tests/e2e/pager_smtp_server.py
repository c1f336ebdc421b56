"""An SMTP server for the tests: python3-aiosmtpd on 127.0.0.1 (or the
loopback address given), on a free port or the one given. It prints "PORT <n>" once it listens and keeps every
message it accepts in the folder given, as <n>.eml (the data as received,
dot-unstuffed, CR LF kept) and <n>.env (the sender and the recipients, one a
line). Each connection appends a line to "connections", each HELO its name to
"helo".

Modes: accept (default); stall (the data are never answered); refuse (MAIL
FROM is refused with 550).

Scripted modes, for replies a real server would not give (no aiosmtpd; every
byte the client sends is appended to "transcript", and each connection the
client ends appends the milliseconds it lasted to "closed"):
  data250     DATA is answered 250, never 354
  dot354      the final "." is answered 354
  dotmulti    the final "." is answered "250-..." then "554 ..."
  surplus     one reply too many right after the greeting
  drip        the greeting never ends: a "220-" line every second; no
              command is ever answered
  silent      no greeting, no answer at all
  dotsilent   the final "." is never answered
  quitsilent  the mail is accepted (and kept), QUIT is never answered

Run it with Debian's /usr/bin/python3, which has aiosmtpd.
"""

import argparse
import asyncio
import os
import sys
import time

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


SCRIPTED = ["data250", "dot354", "dotmulti", "surplus", "drip", "silent", "dotsilent", "quitsilent"]


class Scripted(asyncio.Protocol):
    """One connection of a scripted mode."""

    def __init__(self, sink):
        self.sink = sink
        self.mode = sink.mode
        self.buffer = b""
        self.in_data = False
        self.data = b""
        self.envelope = []
        self.drip = None

    def connection_made(self, transport):
        self.transport = transport
        self.opened = time.monotonic()
        self.sink.append("connections", "open")
        if self.mode == "silent":
            return
        if self.mode == "drip":
            self.drip = asyncio.ensure_future(self.dripping())
            return
        self.write("220 sink.test ESMTP")
        if self.mode == "surplus":
            self.write("250 surplus")

    async def dripping(self):
        while True:
            self.write("220-sink.test still greeting")
            await asyncio.sleep(1)

    def write(self, line):
        self.transport.write(line.encode("ascii") + b"\r\n")

    def connection_lost(self, exc):
        if self.drip:
            self.drip.cancel()
        self.sink.append("closed", "%d" % int((time.monotonic() - self.opened) * 1000))

    def data_received(self, data):
        with open(os.path.join(self.sink.folder, "transcript"), "ab") as f:
            f.write(data)
        self.buffer += data
        while b"\n" in self.buffer:
            line, self.buffer = self.buffer.split(b"\n", 1)
            self.line(line + b"\n")

    def line(self, line):
        if self.mode in ("silent", "drip"):
            return  # nothing is ever answered
        if self.in_data:
            if line != b".\r\n":
                self.data += line
                return
            self.in_data = False
            if self.mode == "dot354":
                self.write("354 more please")
            elif self.mode == "dotmulti":
                self.write("250-queued")
                self.write("554 rejected after all")
            elif self.mode != "dotsilent":
                self.sink.count += 1
                base = os.path.join(self.sink.folder, "%03d" % self.sink.count)
                with open(base + ".env", "w", encoding="utf-8") as f:
                    f.write("\n".join(self.envelope) + "\n")
                with open(base + ".eml.tmp", "wb") as f:
                    f.write(self.data)
                os.rename(base + ".eml.tmp", base + ".eml")
                self.write("250 accepted")
            return
        command = line.decode("latin-1").strip()
        verb = command.split(" ", 1)[0].upper()
        if verb == "HELO":
            self.write("250 sink.test")
        elif verb == "RSET":
            self.envelope = []
            self.write("250 OK")
        elif verb in ("MAIL", "RCPT"):
            self.envelope.append(command.split("<", 1)[-1].rstrip(">"))
            self.write("250 OK")
        elif verb == "DATA":
            if self.mode == "data250":
                self.write("250 OK")
            else:
                self.in_data = True
                self.data = b""
                self.write("354 End data with <CR><LF>.<CR><LF>")
        elif verb == "QUIT":
            if self.mode != "quitsilent":
                self.write("221 bye")
                self.transport.close()
        else:
            self.write("500 what")


class CountingSMTP(SMTP):
    def connection_made(self, transport):
        self.event_handler.append("connections", "open")
        super().connection_made(transport)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", default="accept", choices=["accept", "stall", "refuse"] + SCRIPTED)
    args = parser.parse_args()
    sink = Sink(args.folder, args.mode)
    loop = asyncio.get_running_loop()
    if args.mode in SCRIPTED:
        factory = lambda: Scripted(sink)
    else:
        factory = lambda: CountingSMTP(sink, hostname="sink.test", decode_data=False)
    server = await loop.create_server(factory, host=args.host, port=args.port)
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
