#!/usr/bin/env python3
"""Watches how the machine serves a waiting thread on a set of cores.

  sched_probe.py OUT_FILE CORE[,CORE...]

Pinned to the cores, it sleeps 1 ms at a time and looks at the clock; every
5 ms it also reads the cores' steal time (the time a virtual machine's host
ran something else on them). What it sees is appended to OUT_FILE, one line
each:
  <monotonic s> late <ms>    it woke that many ms after its time (>= 5 ms)
  <monotonic s> steal <ms>   the host took that many ms of the cores since
                             the last look (the kernel counts in 10 ms steps)
A thread of a program on those cores that waited at that moment was held at
least as long: no program can ride out more than its buffers hold. Runs until
it is killed (SIGTERM ends it cleanly).
"""

import os
import signal
import sys
import time

LATE_MS = 5.0


def steal_ms(cores):
    """Steal time of the cores, in ms, from /proc/stat."""
    total = 0
    tick_ms = 1000.0 / os.sysconf("SC_CLK_TCK")
    with open("/proc/stat") as stat:
        for line in stat:
            name, _, rest = line.partition(" ")
            if name.startswith("cpu") and name[3:].isdigit() and int(name[3:]) in cores:
                fields = rest.split()
                total += int(fields[7]) * tick_ms  # user nice system idle iowait irq softirq steal
    return total


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    cores = {int(c) for c in argv[2].split(",")}
    os.sched_setaffinity(0, cores)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with open(argv[1], "a", buffering=1) as out:
        stolen = steal_ms(cores)
        due = time.monotonic()
        looks = 0
        while True:
            time.sleep(0.001)
            due += 0.001
            now = time.monotonic()
            late = (now - due) * 1000.0
            if late >= LATE_MS:
                out.write("%.4f late %.1f\n" % (now, late))
            if late > 0:
                due = now
            looks += 1
            if looks % 5 == 0:
                was, stolen = stolen, steal_ms(cores)
                if stolen > was:
                    out.write("%.4f steal %.0f\n" % (now, stolen - was))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
