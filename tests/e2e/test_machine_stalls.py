#!/usr/bin/env python3
"""Tests of tests/e2e/machine_stalls.py: which silences a stall of the
machine explains, and which stay the program's."""

import io
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import machine_stalls  # noqa: E402


class Verdicts(unittest.TestCase):
    def verdict(self, probe_lines, gaps):
        with tempfile.TemporaryDirectory() as folder:
            probe, start = os.path.join(folder, "probe.txt"), os.path.join(folder, "drag.start")
            with open(probe, "w") as f:
                f.write("".join(line + "\n" for line in probe_lines))
            with open(start, "w") as f:
                f.write("1000.0000\n")
            out = io.StringIO()
            with redirect_stdout(out):
                code = machine_stalls.main(["machine_stalls.py", probe, start, gaps])
            return code, out.getvalue()

    def test_a_silence_is_the_machines_only_after_a_long_enough_stall(self):
        cases = [
            # probe lines, silence start (s), the machine's?
            ([], "5.300", False),
            (["1005.2000 late 9.8", "1005.2500 steal 10"], "5.300", False),  # an ordinary busy machine
            (["1005.2000 late 31.0"], "5.300", True),
            (["1005.1500 steal 10", "1005.2500 steal 10"], "5.300", True),
            (["1004.9000 late 45.0"], "5.300", False),  # long before: the buffers rode it out
            (["1005.3400 late 45.0"], "5.300", True),  # seen when it ended, just after the silence began
            (["1005.4000 late 45.0"], "5.300", False),
        ]
        for probe, gaps, machines in cases:
            with self.subTest(probe=probe):
                code, out = self.verdict(probe, gaps)
                self.assertEqual(code, 0 if machines else 1, out)

    def test_every_silence_must_be_explained(self):
        code, out = self.verdict(["1002.0000 late 30.0"], "2.100,7.000")
        self.assertEqual(code, 1)
        self.assertIn("silence at 2.100 s: the machine's", out)
        self.assertIn("silence at 7.000 s: not the machine's", out)
        self.assertEqual(self.verdict([], "")[0], 0)


if __name__ == "__main__":
    unittest.main()
