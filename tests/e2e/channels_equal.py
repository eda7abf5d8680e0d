#!/usr/bin/env python3
"""Compares the left and right channel of a two-channel WAV file frame by frame.

Usage: channels_equal.py WAV BLOCK_MS

Prints "frames", "unequal_frames", "blocks", "unequal_blocks" (blocks of
BLOCK_MS milliseconds from the first frame holding any frame whose left sample
differs from its right one), "unequal_block_starts_s" (the first ten), and
"quiet_blocks" / "loud_blocks" (blocks whose peak is below / at least a
quarter of the file's peak: whether the level changed while it played).
Exit 0 when every frame has equal channels, 1 otherwise, 2 when the file
cannot be read.
"""
import array
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from analyze_wav import WavError, read_wav_bytes  # noqa: E402


def main(argv):
    path, block_ms = argv[0], float(argv[1])
    try:
        info, payload, _ = read_wav_bytes(path)
    except (OSError, WavError) as e:
        print("cannot read %s: %s" % (path, e), file=sys.stderr)
        return 2
    if info["channels"] != 2 or info["bits"] not in (16, 32):
        print("not a 16- or 32-bit stereo file", file=sys.stderr)
        return 2
    samples = array.array("h" if info["bits"] == 16 else "i")
    samples.frombytes(payload[:info["frames"] * info["block_align"]])
    if sys.byteorder != "little":
        samples.byteswap()
    left, right = samples[0::2], samples[1::2]
    block = max(1, int(round(info["rate"] * block_ms / 1000.0)))
    peaks = []
    unequal_frames = 0
    unequal_starts = []
    for start in range(0, len(left), block):
        l, r = left[start:start + block], right[start:start + block]
        peaks.append(max(max(l, default=0), -min(l, default=0)))
        if l != r:
            unequal_frames += sum(1 for a, b in zip(l, r) if a != b)
            unequal_starts.append(start / info["rate"])
    top = max(peaks, default=0)
    quiet = sum(1 for p in peaks if p * 4 < top)
    print("frames=%d" % len(left))
    print("unequal_frames=%d" % unequal_frames)
    print("blocks=%d" % len(peaks))
    print("unequal_blocks=%d" % len(unequal_starts))
    print("unequal_block_starts_s=%s" % ",".join("%.3f" % s for s in unequal_starts[:10]))
    print("quiet_blocks=%d" % quiet)
    print("loud_blocks=%d" % (len(peaks) - quiet))
    return 0 if unequal_frames == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
