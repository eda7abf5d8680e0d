#!/usr/bin/env python3
"""Tests of tests/e2e/signals_check.py's exact check: silence that the audio
system inserts when the device runs dry is named and skipped; any other
difference fails."""

import io
import math
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import signals_check  # noqa: E402

RATE = signals_check.RATE


def expected_frames(seconds):
    """A 997 Hz sine on the left, 441 Hz on the right, with 5 ms of silence in
    the middle (so that a gap can border on zeros of the expected output)."""
    frames = []
    for i in range(int(seconds * RATE)):
        quiet = RATE <= i < RATE + RATE // 200
        left = 0 if quiet else round(12000 * math.sin(2 * math.pi * 997 * i / RATE))
        right = 0 if quiet else round(9000 * math.sin(2 * math.pi * 441 * i / RATE + 0.3))
        frames.append((left, right))
    return frames


class Exact(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.expected = expected_frames(5)
        self.raw = os.path.join(self.dir.name, "expected.raw")
        with open(self.raw, "wb") as f:
            f.write(b"".join(struct.pack("<ii", l, r) for l, r in self.expected))

    def tearDown(self):
        self.dir.cleanup()

    def check(self, frames):
        path = os.path.join(self.dir.name, "capture.wav")
        data = b"".join(struct.pack("<hh", l, r) for l, r in frames)
        with open(path, "wb") as f:
            f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
            f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, 2, RATE, RATE * 4, 4, 16))
            f.write(b"data" + struct.pack("<I", len(data)) + data)
        out = io.StringIO()
        with redirect_stdout(out):
            fails = signals_check.check_exact(path, self.raw, 4)
        return fails, out.getvalue()

    def with_gaps(self, gaps, lead=300):
        """The expected frames after `lead` silent frames, with `length` zero
        frames inserted before each expected frame `at` of `gaps`."""
        frames = [(0, 0)] * lead
        last = 0
        for at, length in gaps:
            frames += self.expected[last:at] + [(0, 0)] * length
            last = at
        return frames + self.expected[last:]

    def test_equal_capture_passes(self):
        fails, out = self.check(self.with_gaps([]))
        self.assertEqual(fails, [])
        self.assertNotIn("inserted", out)

    def test_inserted_silence_is_named_and_skipped(self):
        # A 10 ms gap inside the sine, one that begins where the expected
        # silence ends and one just before the expected silence begins.
        gaps = [(102720, 480), (RATE + RATE // 200, 960), (RATE - 7, 200)]
        fails, out = self.check(self.with_gaps(sorted(gaps)))
        self.assertEqual(fails, [])
        self.assertIn("480 frames before frame 102720", out)
        self.assertEqual(out.count("silence the audio system inserted"), 3)

    def test_other_differences_fail(self):
        lost = self.with_gaps([])
        del lost[300 + 90000]  # a sample lost, no silence
        changed = self.with_gaps([(90000, 480)])
        changed[300 + 90000 + 480 + 10] = (1, 1)  # a wrong sample after a gap
        dropped = self.with_gaps([])
        dropped[300 + 90000:300 + 90480] = [(0, 0)] * 480  # samples replaced by silence
        long_gap = self.with_gaps([(90000, RATE // 5)])  # 200 ms: no device gap
        many = self.with_gaps([(60000 + 20000 * k, 100) for k in range(6)])
        for name, frames in [("lost", lost), ("changed", changed), ("dropped", dropped), ("long gap", long_gap),
                             ("six gaps", many)]:
            with self.subTest(name):
                fails, _ = self.check(frames)
                self.assertTrue(fails and "differs" in fails[0], fails)


if __name__ == "__main__":
    unittest.main()
