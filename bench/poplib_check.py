#!/usr/bin/python3
"""The reference of the POP3 benchmark: python3's poplib gives the commands
of the pager's mailbox check (USER, PASS, STAT, LAST, then LIST n and RETR n
for every message, QUIT) to ADDRESS:PORT, and prints the seconds it took and
the number of messages retrieved.

usage: poplib_check.py ADDRESS PORT USER PASSWORD
"""
import poplib
import sys
import time

address, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = time.perf_counter()
pop = poplib.POP3(address, port)
pop.user(user)
pop.pass_(password)
count, _ = pop.stat()
pop._shortcmd("LAST")
for n in range(1, count + 1):
    pop.list(n)
    pop.retr(n)
pop.quit()
elapsed = time.perf_counter() - start
print(f"{elapsed:.6f} {count}")
