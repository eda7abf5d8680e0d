#!/usr/bin/env python3
"""Checks what the test ASIO driver captured against a recorded reference.

The reference is a WAV file that the program recorded at unity gain: one
second of quantised codes per channel, repeated. The ASIO road scales each
code by 1/(2^(bits-1) - 1) in 80-bit arithmetic and rounds the quotient to a
double; the driver's sample type then stores it by its own rule (integer
types: times the type's full scale, rounded to nearest with ties to even and
saturated at the type's own N-bit limits; float types: the double, narrowed
for 32 bits). This checker computes that stream independently and compares it
with the capture frame by frame: the left and right channels carry it from
their first frame (or, with --any-offset, from some point of the second)
until the play stopped, then silence; every other channel is silent
throughout.

  asio_check.py REFERENCE BITS TYPES CAPTURE LEFT RIGHT [options]

TYPES is the driver's comma list of sample types per output channel, CAPTURE
the capture file name with %d for the channel number.
"""
import argparse
import struct
import sys
from fractions import Fraction
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from analyze_wav import read_wav  # noqa: E402

# type: (bytes, struct code or None for packed 24, big-endian, kind, nominal bits)
TYPES = {
    0: (2, ">h", 16), 1: (3, None, 24), 2: (4, ">i", 32), 3: (4, ">f", 0), 4: (8, ">d", 0),
    8: (4, ">i", 16), 9: (4, ">i", 18), 10: (4, ">i", 20), 11: (4, ">i", 24),
    16: (2, "<h", 16), 17: (3, None, 24), 18: (4, "<i", 32), 19: (4, "<f", 0), 20: (8, "<d", 0),
    24: (4, "<i", 16), 25: (4, "<i", 18), 26: (4, "<i", 20), 27: (4, "<i", 24),
}
BIG_ENDIAN = {0, 1, 2, 3, 4, 8, 9, 10, 11}


def round_significand(q, bits):
    """q rounded to `bits` significant bits, to nearest with ties to even."""
    if q == 0:
        return q
    sign = -1 if q < 0 else 1
    a = abs(q)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    if Fraction(2) ** e > a:
        e -= 1
    scale = Fraction(2) ** (bits - 1 - e)
    m = a * scale
    whole = m.numerator // m.denominator
    rest = m - whole
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and whole % 2 == 1):
        whole += 1
    return sign * Fraction(whole) / scale


def road_double(code, bits):
    """The double the ASIO road hands the host for a quantised code."""
    q = Fraction(code, (1 << (bits - 1)) - 1)
    return float(round_significand(round_significand(q, 64), 53))


def stored(value, sample_type):
    """What the driver's buffer holds for a double, decoded as a number."""
    _, code, bits = TYPES[sample_type]
    if bits == 0:
        return struct.unpack("<f", struct.pack("<f", value))[0] if code[1] == "f" else value
    full = (1 << (bits - 1)) - 1
    v = round(value * float(full))
    return max(-full - 1, min(full, v))


def raw_data(path, sample_type):
    """The sample bytes of a capture: a WAV file's data chunk or a raw file."""
    data = Path(path).read_bytes()
    if sample_type in BIG_ENDIAN:
        assert data[:4] != b"RIFF", "%s: a big-endian capture is raw bytes" % path
        return data
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", "%s is no WAV file" % path
    at = 12
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if kind == b"fmt ":
            fmt, channels = struct.unpack("<HH", data[at + 8:at + 12])
            width = struct.unpack("<H", data[at + 22:at + 24])[0]
            assert channels == 1, "%s: %d channels" % (path, channels)
            assert width == TYPES[sample_type][0] * 8, "%s: %d bits" % (path, width)
            assert fmt == (3 if TYPES[sample_type][2] == 0 else 1), "%s: format %d" % (path, fmt)
        if kind == b"data":
            return data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    raise AssertionError("%s has no data chunk" % path)


def decode(data, sample_type):
    width, code, _ = TYPES[sample_type]
    assert len(data) % width == 0, "a partial sample"
    if code is not None:
        return [v[0] for v in struct.iter_unpack(code, data)]
    big = sample_type == 1
    out = []
    for i in range(0, len(data), 3):
        b = data[i:i + 3]
        u = (b[0] << 16 | b[1] << 8 | b[2]) if big else (b[2] << 16 | b[1] << 8 | b[0])
        out.append(u - (1 << 24) if u & 0x800000 else u)
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("reference")
    parser.add_argument("bits", type=int)
    parser.add_argument("types")
    parser.add_argument("capture")
    parser.add_argument("left", type=int)
    parser.add_argument("right", type=int)
    parser.add_argument("--outputs", type=int, help="output channels (default: one per type)")
    parser.add_argument("--min-seconds", type=float, default=2.0)
    parser.add_argument("--any-offset", action="store_true",
                        help="the capture may begin anywhere in the second (after a reset)")
    args = parser.parse_args()

    types = [int(t) for t in args.types.split(",")]
    outputs = args.outputs or len(types)
    types += [types[-1]] * (outputs - len(types))

    ref_info, ref = read_wav(args.reference)
    rate = ref_info["rate"]
    scale = 2 ** (ref_info["valid_bits"] - 1)
    codes = [[round(v * scale) for v in ch] for ch in ref]
    assert ref_info["frames"] >= 2 * rate and codes[0][rate:2 * rate] == codes[0][:rate], \
        "the reference is not periodic over one second"
    limit = 1 << (args.bits - 1)
    assert all(-limit <= c < limit for ch in codes for c in ch), "codes beyond %d bits" % args.bits
    doubles = {}
    for ch in codes:
        for c in ch[:rate]:
            if c not in doubles:
                doubles[c] = road_double(c, args.bits)

    failures = []
    for channel in range(outputs):
        sample_type = types[channel]
        path = args.capture.replace("%d", str(channel))
        data = raw_data(path, sample_type)
        if channel not in (args.left, args.right):
            if data != bytes(len(data)):
                failures.append("output %d (type %d) is not silent" % (channel, sample_type))
            continue
        got = decode(data, sample_type)
        source = codes[0 if channel == args.left else 1][:rate]
        expected = [stored(doubles[c], sample_type) for c in source]
        lead = 0
        offset = 0
        if args.any_offset:
            while lead < len(got) and got[lead] == 0:
                lead += 1
            probe = got[lead:lead + 256]
            offsets = [o for o in range(rate) if all(expected[(o + i) % rate] == p for i, p in enumerate(probe))]
            if len(probe) < 256 or len(offsets) != 1:
                failures.append("output %d (type %d): the sound is not found in the reference" % (channel, sample_type))
                continue
            offset = offsets[0]
        end = lead
        while end < len(got) and got[end] == expected[(end - lead + offset) % rate]:
            end += 1
        played = end - lead
        tail = got[end:]
        print("output %d type %2d: %d frames, %d silent first, %d played (%.3f s) from frame %d of the second, "
              "then %d more" % (channel, sample_type, len(got), lead, played, played / rate, offset, len(tail)))
        if played < args.min_seconds * rate:
            failures.append("output %d (type %d): only %.3f s match (first difference at frame %d: %r, expected %r)" % (
                channel, sample_type, played / rate, end, got[end] if end < len(got) else None,
                expected[(end - lead + offset) % rate]))
        elif any(tail):
            first = next(i for i, v in enumerate(tail) if v)
            failures.append("output %d (type %d): a frame differs while playing, at frame %d (lost or repeated)" % (
                channel, sample_type, end + first))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
