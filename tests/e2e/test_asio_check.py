#!/usr/bin/env python3
"""Tests of tests/e2e/asio_check.py: its conversion rules on known values,
and whole checks of captures made here."""

import io
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import asio_check  # noqa: E402


def wav(path, channels, bits, tag, rate, frames_of):
    """A WAV file of interleaved frames (a list of per-frame byte strings)."""
    data = b"".join(frames_of)
    align = channels * bits // 8
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, tag, channels, rate, rate * align, align, bits))
        f.write(b"data" + struct.pack("<I", len(data)) + data)


class Rules(unittest.TestCase):
    def test_rounding_to_a_significand_ties_to_even(self):
        self.assertEqual(asio_check.round_significand(Fraction(3, 2), 1), 2)
        self.assertEqual(asio_check.round_significand(Fraction(5, 2), 2), 2)
        self.assertEqual(asio_check.round_significand(Fraction(7, 2), 2), 4)
        self.assertEqual(asio_check.round_significand(Fraction(-3, 2), 1), -2)
        self.assertEqual(asio_check.round_significand(Fraction(1, 3), 53), Fraction(1 / 3))

    def test_road_doubles(self):
        self.assertEqual(asio_check.road_double(8388607, 24), 1.0)
        self.assertEqual(asio_check.road_double(-8388607, 24), -1.0)
        self.assertEqual(asio_check.road_double(-32768, 16), -32768 / 32767)
        self.assertEqual(asio_check.road_double(0, 20), 0.0)

    def test_stored_values_stay_within_each_types_bits(self):
        x = -32768 / 32767  # the most negative 16-bit code on the road
        cases = [(27, -8388608), (11, -8388608), (25, -131072), (26, -524288), (24, -32768), (16, -32768),
                 (17, -8388608), (18, -2147483648), (2, -2147483648)]
        for sample_type, expected in cases:
            self.assertEqual(asio_check.stored(x, sample_type), expected, sample_type)
        self.assertEqual(asio_check.stored(1.0, 18), 2147483647)
        self.assertEqual(asio_check.stored(1.5, 24), 32767)
        self.assertEqual(asio_check.stored(0.5 / 32767, 16), 0)  # ties to even
        self.assertEqual(asio_check.stored(1.5 / 32767, 0), 2)
        self.assertEqual(asio_check.stored(0.1, 19), struct.unpack("<f", struct.pack("<f", 0.1))[0])
        self.assertEqual(asio_check.stored(0.1, 4), 0.1)

    def test_packed_24_bit_samples_decode_in_their_byte_order(self):
        self.assertEqual(asio_check.decode(bytes([0x80, 0x00, 0x01, 0x7F, 0xFF, 0xFF]), 1), [-8388607, 8388607])
        self.assertEqual(asio_check.decode(bytes([0x01, 0x00, 0x80, 0xFF, 0xFF, 0x7F]), 17), [-8388607, 8388607])
        self.assertEqual(asio_check.decode(struct.pack(">ii", -5, 7), 9), [-5, 7])


class WholeCheck(unittest.TestCase):
    rate = 1000

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        # One second of 16-bit codes, the full range included, twice.
        self.codes = [(-32768 if i == 7 else (i * 977) % 65535 - 32767) for i in range(self.rate)]
        self.reference = os.path.join(self.dir.name, "reference.wav")
        frames = [struct.pack("<hh", c, c) for c in self.codes * 2]
        wav(self.reference, 2, 16, 1, self.rate, frames)

    def capture(self, types, frames, silent_after=0, change=None):
        """Channel 0 and 1 carry the stream from frame 0; others are silent."""
        for channel, sample_type in enumerate(types):
            values = []
            for i in range(frames + silent_after):
                v = 0
                if channel < 2 and i < frames:
                    v = asio_check.stored(asio_check.road_double(self.codes[i % self.rate], 16), sample_type)
                values.append(v)
            if change and change[0] == channel:
                values[change[1]] = change[2]
            width, code, _ = asio_check.TYPES[sample_type]
            if code is None:
                order = "big" if sample_type == 1 else "little"
                data = b"".join(v.to_bytes(3, order, signed=True) for v in values)
            else:
                data = b"".join(struct.pack(code, v) for v in values)
            path = os.path.join(self.dir.name, "out-%d.cap" % channel)
            if sample_type in asio_check.BIG_ENDIAN:
                with open(path, "wb") as f:
                    f.write(data)
            else:
                tag = 3 if asio_check.TYPES[sample_type][2] == 0 else 1
                wav(path, 1, width * 8, tag, self.rate,
                    [data[i:i + width] for i in range(0, len(data), width)])

    def check(self, types, *options):
        sys.argv = ["asio_check.py", self.reference, "16", ",".join(map(str, types)),
                    os.path.join(self.dir.name, "out-%d.cap"), "0", "1", *options]
        out = io.StringIO()
        with redirect_stdout(out):
            code = asio_check.main()
        return code, out.getvalue()

    def test_an_exact_capture_passes_for_each_byte_layout(self):
        for types in ([27, 1, 16], [11, 17, 0], [3, 20, 4], [19, 2, 18]):
            self.capture(types, 2500, silent_after=300)
            code, out = self.check(types)
            self.assertEqual(code, 0, out)

    def test_a_repeated_frame_fails(self):
        types = [27, 25]
        self.capture(types, 2500, change=(1, 1400, asio_check.stored(
            asio_check.road_double(self.codes[399], 16), 25)))
        code, out = self.check(types)
        self.assertEqual(code, 1, out)
        self.assertIn("frame 1400", out)

    def test_sound_on_another_output_fails(self):
        types = [18, 18, 18]
        self.capture(types, 2500, change=(2, 10, 1))
        code, out = self.check(types)
        self.assertEqual(code, 1, out)
        self.assertIn("output 2", out)

    def test_a_short_play_fails_and_an_offset_start_needs_any_offset(self):
        types = [18, 18]
        self.capture(types, 1500)
        self.assertEqual(self.check(types)[0], 1)  # less than two seconds
        self.assertEqual(self.check(types, "--min-seconds", "1")[0], 0)
        # The capture begins in the middle of the second (after a reset).
        for channel in (0, 1):
            path = os.path.join(self.dir.name, "out-%d.cap" % channel)
            with open(path, "rb") as f:
                data = f.read()
            header, body = data[:44], data[44:]
            body = body[4 * 333:]
            with open(path, "wb") as f:
                f.write(header[:40] + struct.pack("<I", len(body)) + body)
        self.assertEqual(self.check(types, "--min-seconds", "1")[0], 1)
        code, out = self.check(types, "--min-seconds", "1", "--any-offset")
        self.assertEqual(code, 0, out)
        self.assertIn("from frame 333 of the second", out)


if __name__ == "__main__":
    unittest.main()
