#!/usr/bin/env python3
"""Tells which silences of a capture the machine itself caused.

  machine_stalls.py PROBE_LOG CAPTURE_START GAP_STARTS

PROBE_LOG is what sched_probe.py saw on the program's cores, CAPTURE_START
the file that holds the monotonic time of the capture's first sample, and
GAP_STARTS the comma-separated starts (s) of the capture's runs of silence
("" for none). A run of silence at capture time t is the device running dry
at about CAPTURE_START + t: the sample was due then, and was written late by
one of the threads that carry it (the program's or the audio system's). It
is the machine's when, in the 250 ms before it, the cores were withheld
from a waiting thread for at least 20 ms (a wake-up that late, or that much
steal time): a stall beyond what a thread of ordinary priority rides out
with these buffers, whatever the program does. Prints the probe's summary
and each run's verdict; exit 1 when a run is not the machine's.
"""

import sys

STALL_MS = 20.0
BEFORE_S = 0.25
AFTER_S = 0.05


def read_probe(path):
    events = []
    with open(path) as probe:
        for line in probe:
            fields = line.split()
            if len(fields) == 3:
                events.append((float(fields[0]), fields[1], float(fields[2])))
    return events


def main(argv):
    if len(argv) != 4:
        print(__doc__)
        return 2
    events = read_probe(argv[1])
    with open(argv[2]) as mark:
        start = float(mark.read())
    gaps = [float(g) for g in argv[3].split(",") if g]
    late = [ms for _, kind, ms in events if kind == "late"]
    stolen = sum(ms for _, kind, ms in events if kind == "steal")
    print("the program's cores: %d wake-ups 5 ms or more late (longest %.1f ms), %.0f ms of steal time"
          % (len(late), max(late, default=0.0), stolen))
    unexplained = 0
    for gap in gaps:
        at = start + gap
        near = [(t, kind, ms) for t, kind, ms in events if at - BEFORE_S <= t <= at + AFTER_S]
        late_ms = max((ms for _, kind, ms in near if kind == "late"), default=0.0)
        steal_ms = sum(ms for _, kind, ms in near if kind == "steal")
        if late_ms >= STALL_MS or steal_ms >= STALL_MS:
            print("silence at %.3f s: the machine's (a wake-up %.1f ms late, %.0f ms of steal time just before it)"
                  % (gap, late_ms, steal_ms))
        else:
            unexplained += 1
            print("silence at %.3f s: not the machine's (the cores served waiting threads: at most %.1f ms late,"
                  " %.0f ms of steal time just before it)" % (gap, late_ms, steal_ms))
    return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
