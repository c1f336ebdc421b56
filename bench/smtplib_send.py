#!/usr/bin/python3
"""The reference of the SMTP benchmark: python3's smtplib sends COUNT copies
of the message in FILE (the header block and body as they go after DATA)
from SENDER to RECIPIENT over one connection to 127.0.0.1:PORT, and prints
the seconds it took, connection and QUIT included.

usage: smtplib_send.py PORT COUNT SENDER RECIPIENT FILE
"""
import smtplib
import sys
import time

port, count, sender, recipient, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
with open(path, "rb") as f:
    message = f.read()

start = time.perf_counter()
with smtplib.SMTP("127.0.0.1", port, local_hostname="pager") as smtp:
    for _ in range(count):
        smtp.sendmail(sender, [recipient], message)
elapsed = time.perf_counter() - start
print(f"{elapsed:.6f}")
