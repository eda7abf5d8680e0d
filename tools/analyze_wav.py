#!/usr/bin/env python3
"""Analyses a captured WAV file (python3 standard library only).

Prints one "key=value" line per figure (or JSON with --json):
  format, rate, channels, bits, frames, seconds,
  active_start_frame, active_frames (from the first to the last frame above the
  silence threshold), leading_silence_ms, trailing_silence_ms,
  longest_gap_frames, longest_gap_ms (longest run of silent frames inside the
  active part), and per channel chN_rms_dbfs, chN_peak_dbfs, chN_freq_hz
  (dominant frequency), chN_max_step (largest sample-to-sample change, full
  scale = 1).
With --silence-runs-ms MS also silence_runs (runs of at least MS ms of
digital silence, every sample of every frame exactly 0, between the first and
the last sound: what an audio system plays when the program lets the device
run dry), longest_silence_run_ms and silence_run_starts_s (where the first
ten begin, in seconds). --quick prints only the format figures and those:
it reads long captures quickly (the per-sample figures take about a second
per million frames).
Levels are relative to full scale (a full-scale square wave is 0 dB RMS, a
full-scale sine -3.01 dB RMS and 0 dB peak).

With --expect-... options it also checks the figures and exits with 1 when one
fails (each failure is printed as "FAIL: ..."); 2 means the file could not be
read. Reads plain PCM, IEEE float and the extensible format, and tolerates the
size fields of a file whose writer did not close it.
"""

import argparse
import cmath
import json
import math
import re
import struct
import sys

PCM = 1
IEEE_FLOAT = 3
EXTENSIBLE = 0xFFFE


class WavError(Exception):
    pass


def read_wav_bytes(path):
    """Returns (info dict, the data chunk's bytes, the format tag)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise WavError("not a RIFF/WAVE file")
    fmt = None
    payload = None
    pos = 12
    while pos + 8 <= len(data):
        chunk_id = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        body = pos + 8
        if chunk_id == b"data":
            # A writer that was not closed leaves 0 (or a stale size): take the rest.
            end = body + size
            if size == 0 or size == 0xFFFFFFFF or end > len(data):
                end = len(data)
            payload = data[body:end]
            break
        if chunk_id == b"fmt ":
            fmt = data[body:body + size]
        pos = body + size + (size & 1)
    if fmt is None or len(fmt) < 16:
        raise WavError("no format chunk")
    if payload is None:
        raise WavError("no data chunk")

    tag, channels, rate, _, block_align, bits = struct.unpack_from("<HHIIHH", fmt, 0)
    valid_bits = bits
    if tag == EXTENSIBLE:
        if len(fmt) < 40:
            raise WavError("short extensible format chunk")
        valid_bits = struct.unpack_from("<H", fmt, 18)[0] or bits
        tag = struct.unpack_from("<I", fmt, 24)[0]  # first field of the sub-format GUID
    if tag not in (PCM, IEEE_FLOAT):
        raise WavError("unsupported format tag %d" % tag)
    if channels < 1 or bits % 8 or block_align != channels * bits // 8:
        raise WavError("inconsistent format (channels %d, bits %d, block %d)" % (channels, bits, block_align))

    frames = len(payload) // block_align
    info = {"rate": rate, "channels": channels, "bits": bits, "valid_bits": valid_bits, "frames": frames,
            "seconds": round(frames / rate, 6) if rate else 0.0, "block_align": block_align}
    return info, payload, tag


def read_wav(path):
    """Returns (info dict, list of per-channel sample lists in full-scale units)."""
    return decode_samples(*read_wav_bytes(path))


def decode_samples(info, payload, tag):
    """The samples of read_wav_bytes' data chunk, as read_wav returns them."""
    channels, bits, frames = info["channels"], info["bits"], info["frames"]
    count = frames * channels
    if tag == IEEE_FLOAT:
        if bits not in (32, 64):
            raise WavError("unsupported float width %d" % bits)
        values = struct.unpack_from("<%d%s" % (count, "f" if bits == 32 else "d"), payload, 0)
        kind = "float"
    elif bits == 8:
        values = [(b - 128) / 128.0 for b in payload[:count]]
        kind = "pcm"
    elif bits in (16, 32):
        raw = struct.unpack_from("<%d%s" % (count, "h" if bits == 16 else "i"), payload, 0)
        scale = 1.0 / (1 << (bits - 1))
        values = [v * scale for v in raw]
        kind = "pcm"
    elif bits == 24:
        scale = 1.0 / (1 << 23)
        values = []
        for i in range(count):
            b = payload[3 * i:3 * i + 3]
            values.append(int.from_bytes(b, "little", signed=True) * scale)
        kind = "pcm"
    else:
        raise WavError("unsupported sample width %d" % bits)

    per_channel = [list(values[c::channels]) for c in range(channels)]
    info = dict(info, format=kind)
    del info["block_align"]
    return info, per_channel


def silence_runs(info, payload, min_ms):
    """Runs of whole frames of digital silence lasting at least min_ms, leading
    and trailing silence excluded: (count, longest in ms, start frames)."""
    block, frames, rate = info["block_align"], info["frames"], info["rate"]
    least = max(1, math.ceil(min_ms * rate / 1000.0))
    zeros = b"\x00" * (least * block)
    rest_of_run = re.compile(b"\x00*")
    starts, longest, pos = [], 0, 0
    while (found := payload.find(zeros, pos)) >= 0:
        end = rest_of_run.match(payload, found + len(zeros)).end()
        first, last = -(-found // block), end // block  # the whole frames inside
        if last - first >= least and first > 0 and last < frames:
            starts.append(first)
            longest = max(longest, last - first)
        pos = end
    return len(starts), round(1000.0 * longest / rate, 3), starts


def to_db(value):
    return -200.0 if value <= 1e-10 else 20.0 * math.log10(value)


def fft(values):
    """In-place iterative radix-2 FFT of a list of complex numbers."""
    n = len(values)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            values[i], values[j] = values[j], values[i]
    length = 2
    while length <= n:
        step = cmath.exp(-2j * math.pi / length)
        half = length // 2
        for start in range(0, n, length):
            w = 1.0
            for k in range(start, start + half):
                t = values[k + half] * w
                values[k + half] = values[k] - t
                values[k] = values[k] + t
                w *= step
        length <<= 1
    return values


def dominant_frequency(samples, rate, max_points=65536):
    """Frequency of the strongest spectral peak (Hann window, interpolated)."""
    n = 1
    while n * 2 <= min(len(samples), max_points):
        n *= 2
    if n < 64:
        return 0.0
    start = (len(samples) - n) // 2
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / n) for i in range(n)]
    spectrum = fft([complex(samples[start + i] * window[i], 0.0) for i in range(n)])
    magnitudes = [abs(spectrum[k]) for k in range(n // 2)]
    peak = max(range(1, n // 2 - 1), key=lambda k: magnitudes[k])
    a, b, c = (math.log(max(magnitudes[peak + d], 1e-300)) for d in (-1, 0, 1))
    denominator = a - 2 * b + c
    offset = 0.5 * (a - c) / denominator if denominator else 0.0
    return (peak + offset) * rate / n


def analyse(info, channels, threshold_db):
    threshold = 10.0 ** (threshold_db / 20.0)
    rate = info["rate"]
    frames = info["frames"]
    loud = [any(abs(ch[i]) > threshold for ch in channels) for i in range(frames)]
    try:
        first = loud.index(True)
        last = frames - 1 - loud[::-1].index(True)
    except ValueError:
        first, last = 0, -1
    active = last - first + 1 if last >= first else 0

    longest = run = 0
    for i in range(first, last + 1):
        if loud[i]:
            run = 0
        else:
            run += 1
            longest = max(longest, run)

    def ms(count):
        return round(1000.0 * count / rate, 3) if rate else 0.0

    result = dict(info)
    result.update({
        "active_start_frame": first if active else 0,
        "active_frames": active,
        "leading_silence_ms": ms(first if active else frames),
        "trailing_silence_ms": ms(frames - 1 - last if active else 0),
        "longest_gap_frames": longest,
        "longest_gap_ms": ms(longest),
    })
    for c, ch in enumerate(channels):
        part = ch[first:last + 1] if active else []
        rms = math.sqrt(sum(v * v for v in part) / len(part)) if part else 0.0
        peak = max((abs(v) for v in part), default=0.0)
        step = max((abs(part[i + 1] - part[i]) for i in range(len(part) - 1)), default=0.0)
        result["ch%d_rms_dbfs" % c] = round(to_db(rms), 3)
        result["ch%d_peak_dbfs" % c] = round(to_db(peak), 3)
        result["ch%d_freq_hz" % c] = round(dominant_frequency(part, rate), 3) if part else 0.0
        result["ch%d_max_step" % c] = round(step, 6)
    return result


def check(result, args):
    failures = []

    def expect(name, actual, wanted, tolerance=0.0):
        if abs(actual - wanted) > tolerance:
            failures.append("%s is %s, expected %s (tolerance %s)" % (name, actual, wanted, tolerance))

    if args.expect_rate is not None:
        expect("rate", result["rate"], args.expect_rate)
    if args.expect_channels is not None:
        expect("channels", result["channels"], args.expect_channels)
    if args.min_seconds is not None and result["active_frames"] < args.min_seconds * result["rate"]:
        failures.append("active part is %d frames, expected at least %s s" % (result["active_frames"], args.min_seconds))
    if args.max_silence_runs is not None and result["silence_runs"] > args.max_silence_runs:
        failures.append("%d runs of digital silence of at least %s ms (first at %s s), allowed %d"
                        % (result["silence_runs"], args.silence_runs_ms, result["silence_run_starts_s"],
                           args.max_silence_runs))
    if args.max_gap_ms is not None and result["longest_gap_ms"] > args.max_gap_ms:
        failures.append("longest gap is %s ms, allowed %s ms" % (result["longest_gap_ms"], args.max_gap_ms))
    for c in range(result["channels"]):
        key = "ch%d_" % c
        if args.expect_freq is not None:
            expect(key + "freq_hz", result[key + "freq_hz"], args.expect_freq, args.freq_tol)
        if args.expect_rms is not None:
            expect(key + "rms_dbfs", result[key + "rms_dbfs"], args.expect_rms, args.level_tol)
        if args.expect_peak is not None:
            expect(key + "peak_dbfs", result[key + "peak_dbfs"], args.expect_peak, args.level_tol)
        if args.sine_continuity:
            # A continuous sine never changes by more than 2 A sin(pi f / rate)
            # from one sample to the next; a dropped or repeated piece does.
            amplitude = 10.0 ** (result[key + "peak_dbfs"] / 20.0)
            limit = 2.0 * amplitude * math.sin(math.pi * result[key + "freq_hz"] / result["rate"])
            limit = limit * 1.05 + 4.0 / (1 << max(result["valid_bits"] - 1, 1))
            if result[key + "max_step"] > limit:
                failures.append("%smax_step is %s, a continuous sine allows %.6f" % (key, result[key + "max_step"], limit))
    return failures


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("wav")
    parser.add_argument("--json", action="store_true", help="print one JSON object")
    parser.add_argument("--silence-db", type=float, default=-80.0,
                        help="a frame is silent when every channel is below this level (default -80 dBFS)")
    parser.add_argument("--expect-rate", type=int)
    parser.add_argument("--expect-channels", type=int)
    parser.add_argument("--expect-freq", type=float, help="dominant frequency of every channel, Hz")
    parser.add_argument("--freq-tol", type=float, default=1.0)
    parser.add_argument("--expect-rms", type=float, help="RMS level of every channel, dBFS")
    parser.add_argument("--expect-peak", type=float, help="peak level of every channel, dBFS")
    parser.add_argument("--level-tol", type=float, default=0.1)
    parser.add_argument("--min-seconds", type=float, help="shortest acceptable active part")
    parser.add_argument("--max-gap-ms", type=float, help="longest acceptable silent run inside the active part")
    parser.add_argument("--sine-continuity", action="store_true",
                        help="fail on any sample-to-sample jump a continuous sine cannot make")
    parser.add_argument("--silence-runs-ms", type=float,
                        help="count runs of digital silence of at least this length inside the sound")
    parser.add_argument("--max-silence-runs", type=int, help="most such runs acceptable (needs --silence-runs-ms)")
    parser.add_argument("--quick", action="store_true",
                        help="only the format figures and the silence runs, read from the raw bytes")
    args = parser.parse_args(argv)
    if args.max_silence_runs is not None and args.silence_runs_ms is None:
        parser.error("--max-silence-runs needs --silence-runs-ms")
    if args.quick and any(getattr(args, name) is not None for name in
                          ("expect_freq", "expect_rms", "expect_peak", "min_seconds", "max_gap_ms")) \
            or args.quick and args.sine_continuity:
        parser.error("--quick reads no samples: it cannot check levels, frequencies, gaps or continuity")

    try:
        info, payload, tag = read_wav_bytes(args.wav)
        if args.quick:
            result = {key: value for key, value in info.items() if key != "block_align"}
            result["format"] = "float" if tag == IEEE_FLOAT else "pcm"
        else:
            result = analyse(*decode_samples(info, payload, tag), args.silence_db)
    except (OSError, WavError, struct.error) as error:
        print("analyze_wav: %s: %s" % (args.wav, error), file=sys.stderr)
        return 2
    if args.silence_runs_ms is not None:
        runs, longest, starts = silence_runs(info, payload, args.silence_runs_ms)
        result["silence_runs"] = runs
        result["longest_silence_run_ms"] = longest
        result["silence_run_starts_s"] = ",".join("%.3f" % (s / info["rate"]) for s in starts[:10])
    if args.json:
        print(json.dumps(result, sort_keys=True))
    else:
        for key in sorted(result):
            print("%s=%s" % (key, result[key]))
    failures = check(result, args)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
