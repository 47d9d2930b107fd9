#!/usr/bin/env python3
"""Two pseudo-terminals joined as by a null-modem cable: what is written to
one slave is read from the other. Prints the two slave paths, one a line,
then relays until it is stopped (SIGTERM). For vqhw-sim.exe --device COMn
under Wine (COMn mapped to the first) and a lane on the second."""

import os
import pty
import select
import signal
import sys
import tty

ends = [pty.openpty() for _ in range(2)]
for _, slave in ends:
    tty.setraw(slave)  # the slaves stay open: a master never sees a hang-up
print(os.ttyname(ends[0][1]))
print(os.ttyname(ends[1][1]), flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
masters = [master for master, _ in ends]
while True:
    ready, _, _ = select.select(masters, [], [])
    for master in ready:
        other = masters[1] if master == masters[0] else masters[0]
        try:
            data = os.read(master, 4096)
        except OSError:
            continue
        os.write(other, data)
