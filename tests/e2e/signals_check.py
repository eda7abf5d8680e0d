#!/usr/bin/env python3
"""Checks a wave-out capture of a signal set (python3 standard library only).

  signals_check.py square CAPTURE FREQ
      left: a band-limited square at FREQ (odd harmonics at 1/k of the
      fundamental up to the Nyquist frequency, nothing above it folded back)
      beside the 1000 Hz sine (the mix of two records: half the sine's
      level); right: the sine alone.
  signals_check.py exact CAPTURE EXPECTED.raw MIN_SECONDS
      the capture, from the first frame of the expected output on, equals it
      bit for bit over at least MIN_SECONDS; up to 5 runs of digital silence
      of at most 100 ms that the audio system inserted (the device ran dry,
      and the samples then go on where they stopped) are named and skipped.
  signals_check.py start CAPTURE EXPECTED.raw FRAMES
      the capture, from its own first frame, equals the expected output bit
      for bit: exactly FRAMES frames ("N", a timed play), after which only up
      to 20 ms of silence may follow (the audio system plays silence from
      the device running dry until it is closed); or ("N+", a play that was
      stopped) at least N frames, after which up to 100 ms of silence may
      follow (the device's reset).
  signals_check.py noise CAPTURE EXPECTED.raw
      level (RMS over up to 5 s) and spectral slope (dB per octave, over 2 s)
      of each channel within 1 dB and 1 dB/octave of the expected output.
Exit 0 when the check passes, 1 with "FAIL: ..." lines otherwise.
"""

import cmath
import math
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from analyze_wav import read_wav  # noqa: E402

RATE = 48000


def capture_ints(path):
    info, channels = read_wav(path)
    if info["rate"] != RATE or info["channels"] != 2 or info["bits"] != 16:
        raise SystemExit("FAIL: capture is not 48000 Hz 16-bit stereo: %s" % info)
    return [[round(v * 32768) for v in ch] for ch in channels]


def expected_ints(path):
    with open(path, "rb") as f:
        data = f.read()
    values = struct.unpack("<%di" % (len(data) // 4), data)
    return [list(values[0::2]), list(values[1::2])]


def goertzel(samples, freq):
    """Amplitude of the component at freq over a whole number of seconds."""
    w = 2.0 * math.pi * freq / RATE
    coeff = 2.0 * math.cos(w)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2.0 * math.sqrt(max(power, 0.0)) / len(samples)


def check_square(capture, freq):
    left, right = capture_ints(capture)
    if len(left) < 3 * RATE:
        return ["capture shorter than 3 s"]
    start = RATE  # one whole second from the middle of the play
    l, r = left[start:start + RATE], right[start:start + RATE]
    fails = []
    fundamental = goertzel(l, freq)
    if fundamental < 100:
        fails.append("no square at %d Hz on the left (%.1f)" % (freq, fundamental))
    k = 3
    while k * freq < RATE / 2:
        a = goertzel(l, k * freq)
        if abs(a * k / fundamental - 1.0) > 0.03:
            fails.append("harmonic %d: %.2f of 1/k" % (k, a * k / fundamental))
        k += 2
    # The first harmonics above the Nyquist frequency would fold back here.
    for h in (k, k + 2):
        alias = RATE - h * freq
        if goertzel(l, alias) > 0.5:
            fails.append("alias of harmonic %d at %d Hz" % (h, alias))
    if goertzel(l, 2 * freq) > 0.5:
        fails.append("even harmonic at %d Hz" % (2 * freq))
    sine_l, sine_r = goertzel(l, 1000), goertzel(r, 1000)
    if sine_r < 100 or abs(sine_l / sine_r - 0.5) > 0.005:
        fails.append("1000 Hz sine: left %.1f, right %.1f" % (sine_l, sine_r))
    if goertzel(r, freq) > 0.5:
        fails.append("square on the right channel")
    return fails


def check_exact(capture, expected, min_seconds):
    cap, exp = capture_ints(capture), expected_ints(expected)
    head = 64
    first = next((i for i in range(len(exp[0])) if exp[0][i] or exp[1][i]), 0)
    needle = (exp[0][first:first + head], exp[1][first:first + head])
    for offset in range(0, min(len(cap[0]), 2 * RATE)):
        if cap[0][offset:offset + head] == needle[0] and cap[1][offset:offset + head] == needle[1]:
            break
    else:
        return ["the expected output's start is not in the capture's first 2 s"]
    offset -= first
    n = min(len(cap[0]) - offset, len(exp[0]))
    if n < min_seconds * RATE:
        return ["only %.2f s to compare" % (n / RATE)]
    gaps = []
    i = 0
    while i < n:
        if cap[0][offset + i] == exp[0][i] and cap[1][offset + i] == exp[1][i]:
            i += 1
            continue
        gap = inserted_silence(cap, exp, offset, i)
        if gap is None or len(gaps) >= MAX_GAPS:
            c = 0 if cap[0][offset + i] != exp[0][i] else 1
            return ["channel %d differs at frame %d (%.4f s): %d, expected %d"
                    % (c, i, i / RATE, cap[c][offset + i], exp[c][i])]
        start, length = gap
        gaps.append(gap)
        offset += length
        i = start
        n = min(len(cap[0]) - offset, len(exp[0]))
    if n < min_seconds * RATE:
        return ["only %.2f s to compare" % (n / RATE)]
    for start, length in gaps:
        print("silence the audio system inserted (the device ran dry, no sample lost): %d frames before frame %d"
              " (%.4f s)" % (length, start, start / RATE))
    print("equal over %.2f s from capture frame %d" % (n / RATE, offset - sum(length for _, length in gaps)))
    return []


# A device that runs dry (the program starved of the processor on a busy
# machine) gets silence from the audio system, and the samples then go on
# where they stopped: such a gap is no sample of the program's.
MAX_GAPS = 5
MAX_GAP_FRAMES = RATE // 10


def inserted_silence(cap, exp, offset, i):
    """(frame, length) of a run of digital silence in the capture at
    expected frame i after which the capture goes on exactly with the
    expected frame where the silence began; None if there is none."""
    silent = lambda k: 0 <= k < len(cap[0]) and cap[0][k] == 0 and cap[1][k] == 0
    p = offset + i
    if not silent(p):
        return None
    begin, end = p, p
    while begin > offset and silent(begin - 1):
        begin -= 1
    while silent(end) and end - begin <= MAX_GAP_FRAMES:
        end += 1
    if end - begin > MAX_GAP_FRAMES:
        return None
    # The expected output may hold zeros too, where the silence began or
    # ended: the longest run of inserted frames after which the capture goes
    # on with the expected frame at the run's start.
    # The continuation is looked at up to 256 frames, or up to a next gap.
    j = begin - offset
    for length in range(end - begin, 0, -1):
        tail = begin + length
        check = min(256, len(exp[0]) - j, len(cap[0]) - tail)
        same = 0
        while same < check and cap[0][tail + same] == exp[0][j + same] and cap[1][tail + same] == exp[1][j + same]:
            same += 1
        if check > 0 and (same == check or (same >= 8 and silent(tail + same))):
            return j, length
    return None


def check_start(capture, expected, frames):
    cap, exp = capture_ints(capture), expected_ints(expected)
    total = len(cap[0])
    stopped = frames.endswith("+")
    want = int(frames.rstrip("+"))
    # What the audio system plays after the program's last frame: silence
    # from the device running dry (a timed play) or from its reset (a
    # stopped play) until it is closed.
    tail = 0
    while tail < total and cap[0][total - 1 - tail] == 0 and cap[1][total - 1 - tail] == 0:
        tail += 1
    n = total - tail if stopped else want
    allowed = RATE // 10 if stopped else RATE // 50
    if total - n > allowed or total < n:
        return ["the capture holds %d frames (%.4f s), %d of them silent at the end: not %s frames of the set%s"
                % (total, total / RATE, tail, want, " and at most %d silent ones" % allowed)]
    if any(cap[c][i] for c in (0, 1) for i in range(n, total)):
        return ["the capture holds %d frames after the %d of the set, and they are not silent" % (total - n, n)]
    if n < want:
        return ["the capture holds %d frames of sound, fewer than %d" % (n, want)]
    if n > len(exp[0]):
        return ["the capture (%d frames of sound) is longer than the expected output" % n]
    for c in (0, 1):
        for i in range(n):
            if cap[c][i] != exp[c][i]:
                zeros = next((j for j in range(i, n) if cap[c][j] != 0), n) - i
                return ["channel %d differs from frame %d (%.4f s) on: %d, expected %d (%d zero frames there)"
                        % (c, i, i / RATE, cap[c][i], exp[c][i], zeros)]
    print("equal from the first frame over %d frames (%.4f s), then %d silent frames"
          % (n, n / RATE, total - n))
    return []


def fft(x):
    n = len(x)
    if n == 1:
        return x
    even, odd = fft(x[0::2]), fft(x[1::2])
    t = [cmath.exp(-2j * math.pi * k / n) * odd[k] for k in range(n // 2)]
    return [even[k] + t[k] for k in range(n // 2)] + [even[k] - t[k] for k in range(n // 2)]


def level(samples):
    """RMS in dBFS of 16-bit samples."""
    rms = math.sqrt(sum(v * v for v in samples) / len(samples))
    return 20 * math.log10(max(rms, 1e-30) / 32768)


def slope(samples):
    """The slope of the power per octave band, 250 Hz to 16 kHz, in dB per octave."""
    n = 16384
    bands = [0.0] * 6
    for block in range(len(samples) // n):
        spectrum = fft([complex(v) for v in samples[block * n:(block + 1) * n]])
        for b in range(6):
            lo, hi = 250 * 2 ** b, 250 * 2 ** (b + 1)
            bands[b] += sum(abs(spectrum[k]) ** 2 for k in range(lo * n // RATE, hi * n // RATE))
    db = [10 * math.log10(max(e, 1e-30)) for e in bands]
    mean_x, mean_y = 2.5, sum(db) / 6
    return sum((b - mean_x) * (db[b] - mean_y) for b in range(6)) / sum((b - mean_x) ** 2 for b in range(6))


def check_noise(capture, expected):
    cap, exp = capture_ints(capture), expected_ints(expected)
    fails = []
    for c in (0, 1):
        span = min(len(cap[c]) - RATE, len(exp[c]), 5 * RATE)
        if span < 2 * RATE:
            return ["capture shorter than 3 s"]
        got = (level(cap[c][RATE:RATE + span]), slope(cap[c][RATE:RATE + 2 * RATE]))
        want = (level(exp[c][:span]), slope(exp[c][:2 * RATE]))
        print("channel %d: level %.2f dBFS (expected %.2f), slope %.2f dB/octave (expected %.2f)"
              % (c, got[0], want[0], got[1], want[1]))
        if abs(got[0] - want[0]) > 1.0:
            fails.append("channel %d level %.2f dB, expected %.2f" % (c, got[0], want[0]))
        if abs(got[1] - want[1]) > 1.0:
            fails.append("channel %d slope %.2f dB/octave, expected %.2f" % (c, got[1], want[1]))
    return fails


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    kind = argv[1]
    if kind == "square":
        fails = check_square(argv[2], int(argv[3]))
    elif kind == "exact":
        fails = check_exact(argv[2], argv[3], float(argv[4]))
    elif kind == "start":
        fails = check_start(argv[2], argv[3], argv[4])
    elif kind == "noise":
        fails = check_noise(argv[2], argv[3])
    else:
        print(__doc__)
        return 2
    for f in fails:
        print("FAIL: " + f)
    return 1 if fails else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
