"""What a dial-up entry of the tests runs when its line comes up or goes down
(the entry's OnUp and OnDown): it appends "up" or "down" to the file "events"
in the folder given. "up" then waits (at most 25 s) until the test has put the
file "ready" there, so the line is reported up only once the far end listens.
"""

import os
import sys
import time

folder, what = sys.argv[1], sys.argv[2]
with open(os.path.join(folder, "events"), "a", encoding="ascii") as f:
    f.write(what + "\n")
if what == "up":
    deadline = time.time() + 25
    while time.time() < deadline and not os.path.exists(os.path.join(folder, "ready")):
        time.sleep(0.05)
