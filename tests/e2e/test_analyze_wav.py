#!/usr/bin/env python3
"""Tests of tools/analyze_wav.py on WAV files made here with known content."""

import io
import math
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import analyze_wav  # noqa: E402

PCM_GUID_TAIL = b"\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"


def sine(frames, rate=48000, freq=1000.0, dbfs=-6.0, phase=0.0):
    amplitude = 10.0 ** (dbfs / 20.0)
    return [amplitude * math.sin(2 * math.pi * freq * n / rate + phase) for n in range(frames)]


def encode(channels, bits, tag):
    frames = len(channels[0])
    out = bytearray()
    for i in range(frames):
        for ch in channels:
            v = ch[i]
            if tag == 3:
                out += struct.pack("<f", v)
            elif bits == 16:
                out += struct.pack("<h", max(-32768, min(32767, round(v * 32768))))
            elif bits == 24:
                out += max(-(1 << 23), min((1 << 23) - 1, round(v * (1 << 23)))).to_bytes(3, "little", signed=True)
            else:
                out += struct.pack("<i", max(-(1 << 31), min((1 << 31) - 1, round(v * (1 << 31)))))
    return bytes(out)


def make_wav(channels, rate=48000, bits=16, tag=1, extensible=False, valid_bits=None, data_size=None):
    payload = encode(channels, bits, tag)
    block = len(channels) * bits // 8
    if extensible:
        fmt = struct.pack("<HHIIHHHHI", 0xFFFE, len(channels), rate, rate * block, block, bits, 22,
                          valid_bits or bits, 3) + struct.pack("<I", tag) + PCM_GUID_TAIL
    else:
        fmt = struct.pack("<HHIIHH", tag, len(channels), rate, rate * block, block, bits)
    size = len(payload) if data_size is None else data_size
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", size) + payload
    return b"RIFF" + struct.pack("<I", len(body)) + body


class AnalyzeWavTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def run_tool(self, data, *options):
        path = os.path.join(self.dir.name, "t.wav")
        with open(path, "wb") as f:
            f.write(data)
        out = io.StringIO()
        with redirect_stdout(out):
            code = analyze_wav.main([path] + list(options))
        figures = {}
        for line in out.getvalue().splitlines():
            if "=" in line and not line.startswith("FAIL"):
                key, value = line.split("=", 1)
                figures[key] = value
        return code, figures, out.getvalue()

    def test_figures_of_a_stereo_sine_in_every_sample_format(self):
        cases = [
            ("pcm16", dict(bits=16, tag=1)),
            ("pcm24", dict(bits=24, tag=1)),
            ("ext32-valid24", dict(bits=32, tag=1, extensible=True, valid_bits=24)),
            ("float32", dict(bits=32, tag=3)),
            ("ext-float32", dict(bits=32, tag=3, extensible=True)),
        ]
        for name, wav in cases:
            with self.subTest(name):
                left = sine(24000, dbfs=-6.0)
                right = sine(24000, freq=2000.0, dbfs=-20.0)
                code, f, _ = self.run_tool(make_wav([left, right], **wav))
                self.assertEqual(code, 0)
                self.assertEqual(f["rate"], "48000")
                self.assertEqual(f["channels"], "2")
                self.assertEqual(f["frames"], "24000")
                self.assertAlmostEqual(float(f["ch0_freq_hz"]), 1000.0, delta=0.2)
                self.assertAlmostEqual(float(f["ch1_freq_hz"]), 2000.0, delta=0.2)
                self.assertAlmostEqual(float(f["ch0_peak_dbfs"]), -6.0, delta=0.01)
                self.assertAlmostEqual(float(f["ch0_rms_dbfs"]), -9.03, delta=0.02)
                self.assertAlmostEqual(float(f["ch1_rms_dbfs"]), -23.03, delta=0.02)

    def test_expectations_pass_and_fail(self):
        data = make_wav([sine(48000), sine(48000)])
        code, _, _ = self.run_tool(data, "--expect-rate", "48000", "--expect-channels", "2",
                                   "--expect-freq", "1000", "--expect-rms", "-9.03", "--expect-peak", "-6",
                                   "--min-seconds", "0.99", "--max-gap-ms", "0.1", "--sine-continuity")
        self.assertEqual(code, 0)
        for option, value in (("--expect-rate", "44100"), ("--expect-freq", "997"),
                              ("--expect-rms", "-12"), ("--min-seconds", "1.5")):
            with self.subTest(option):
                code, _, out = self.run_tool(data, option, value)
                self.assertEqual(code, 1)
                self.assertIn("FAIL:", out)

    def test_a_silent_gap_inside_the_tone_is_measured(self):
        tone = sine(48000)
        for i in range(24000, 24000 + 480):  # 10 ms dropout
            tone[i] = 0.0
        code, f, _ = self.run_tool(make_wav([tone, tone]), "--max-gap-ms", "1")
        self.assertEqual(code, 1)
        self.assertEqual(int(f["longest_gap_frames"]), 481)  # the dropout and one zero crossing

    def test_leading_and_trailing_silence_are_not_gaps(self):
        tone = [0.0] * 4800 + sine(48000) + [0.0] * 2400
        code, f, _ = self.run_tool(make_wav([tone, tone]), "--max-gap-ms", "0.1")
        self.assertEqual(code, 0)
        self.assertAlmostEqual(float(f["leading_silence_ms"]), 100.0, delta=0.1)
        self.assertAlmostEqual(float(f["trailing_silence_ms"]), 50.0, delta=0.1)
        self.assertEqual(int(f["active_frames"]), 48000 - 1)

    def test_runs_of_digital_silence_are_counted_inside_the_sound_only(self):
        # 10 ms of silence before and after; inside: a run of 3 ms and one of
        # 1.5 ms at 32 bits, and a left channel that is silent alone for 5 ms
        # while the right one sounds (no run: a frame is silent when every
        # sample is). A quiet sample is sound too, however small.
        rate = 48000
        left, right = sine(rate, rate, dbfs=-20), sine(rate, rate, freq=997, dbfs=-20)
        for start, length in ((12000, 144), (30000, 72)):
            for i in range(start, start + length):
                left[i] = right[i] = 0.0
        for i in range(40000, 40240):
            left[i] = 0.0
        left[20000:20181] = right[20000:20181] = [0.0] * 90 + [1.0 / (1 << 31)] + [0.0] * 90
        pad = [0.0] * 480
        data = make_wav([pad + left + pad, pad + right + pad], rate=rate, bits=32, tag=1, extensible=True)
        for quick in ((), ("--quick",)):
            with self.subTest(quick=bool(quick)):
                code, f, out = self.run_tool(data, "--silence-runs-ms", "2", *quick)
                self.assertEqual(code, 0, out)
                self.assertEqual(f["silence_runs"], "1")
                self.assertGreaterEqual(float(f["longest_silence_run_ms"]), 3.0)
                self.assertLess(float(f["longest_silence_run_ms"]), 3.1)
                self.assertAlmostEqual(float(f["silence_run_starts_s"]), (480 + 12000) / rate, delta=0.0005)
                self.assertEqual(f["rate"], "48000")
                self.assertEqual(f["frames"], str(rate + 960))
                # At 1 ms: the 1.5 ms run and the two halves around the quiet sample too.
                code, f, out = self.run_tool(data, "--silence-runs-ms", "1", "--max-silence-runs", "3", *quick)
                self.assertEqual(code, 1)
                self.assertEqual(f["silence_runs"], "4")
                self.assertIn("4 runs of digital silence", out)

    def test_quick_refuses_checks_that_need_the_samples(self):
        with open(os.path.join(self.dir.name, "q.wav"), "wb") as f:
            f.write(make_wav([sine(100)]))
        for option in (["--expect-freq", "1000"], ["--max-gap-ms", "1"], ["--sine-continuity"]):
            with self.subTest(option[0]), redirect_stdout(io.StringIO()):
                sys.stderr, saved = io.StringIO(), sys.stderr
                try:
                    with self.assertRaises(SystemExit) as raised:
                        analyze_wav.main([os.path.join(self.dir.name, "q.wav"), "--quick"] + option)
                finally:
                    sys.stderr = saved
                self.assertEqual(raised.exception.code, 2)

    def test_a_jump_in_the_sine_breaks_continuity(self):
        # The second half restarts a quarter period late: no silence, but a step.
        tone = sine(24000) + sine(24000, phase=math.pi / 2)
        code, _, out = self.run_tool(make_wav([tone, tone]), "--sine-continuity")
        self.assertEqual(code, 1)
        self.assertIn("max_step", out)

    def test_an_unclosed_capture_with_size_zero_is_read_to_its_end(self):
        tone = sine(4800)
        code, f, _ = self.run_tool(make_wav([tone, tone], data_size=0))
        self.assertEqual(code, 0)
        self.assertEqual(f["frames"], "4800")

    def test_all_silence(self):
        code, f, _ = self.run_tool(make_wav([[0.0] * 1000, [0.0] * 1000]))
        self.assertEqual(code, 0)
        self.assertEqual(f["active_frames"], "0")
        self.assertEqual(f["ch0_rms_dbfs"], "-200.0")

    def test_unreadable_files_give_exit_code_2(self):
        good = make_wav([sine(100)])
        cases = {
            "empty": b"",
            "not riff": b"JUNK" + good[4:],
            "no data chunk": good[:good.index(b"data")],
            "unknown tag": good.replace(struct.pack("<HH", 1, 1), struct.pack("<HH", 2, 1), 1),
        }
        for name, data in cases.items():
            with self.subTest(name):
                err = io.StringIO()
                with redirect_stdout(io.StringIO()):
                    sys.stderr, saved = err, sys.stderr
                    try:
                        path = os.path.join(self.dir.name, "bad.wav")
                        with open(path, "wb") as f:
                            f.write(data)
                        code = analyze_wav.main([path])
                    finally:
                        sys.stderr = saved
                self.assertEqual(code, 2)
                self.assertIn("analyze_wav:", err.getvalue())


if __name__ == "__main__":
    unittest.main()
