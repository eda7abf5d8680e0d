#!/usr/bin/env python3
"""The reader of a capture pipe that takes samples at a set pace.

  paced_capture.py PIPE OUT_DIR SPEED

The private ALSA configuration's file plugin writes into the named pipe PIPE
(a WAV stream, opened anew at each open of the wave-out device). Reading it
at SPEED times the stream's real-time rate makes the device take samples at
that pace, as a sound card does, instead of as fast as they come. The
stream of the N-th open (N from 1) becomes OUT_DIR/capture-N.wav, written
under a temporary name and renamed into place once the device has closed;
OUT_DIR/capture-N.start holds the monotonic clock (s) at which its first
sample was taken (sample k is taken at about that time plus k / rate).
Runs until it is killed.
"""

import os
import struct
import sys
import time
import wave


def read_exactly(pipe, n):
    data = b""
    while len(data) < n:
        chunk = pipe.read(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def one_stream(pipe, path, speed):
    """Copies one device open's stream; False when it held no WAV header."""
    riff = read_exactly(pipe, 12)
    if not riff or riff[:4] != b"RIFF" or riff[8:12] != b"WAVE":
        return False
    fmt = None
    while True:
        head = read_exactly(pipe, 8)
        if not head:
            return False
        name, size = head[:4], struct.unpack("<I", head[4:])[0]
        if name == b"data":
            break
        body = read_exactly(pipe, size + (size & 1))
        if body is None:
            return False
        if name == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
    if fmt is None:
        return False
    _, channels, rate, byte_rate, block_align, bits = fmt
    pace = byte_rate * speed
    temporary = path + ".part"
    with wave.open(temporary, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(bits // 8)
        out.setframerate(rate)
        start, done, rest = time.monotonic(), 0, b""
        with open(os.path.splitext(path)[0] + ".start", "w") as mark:
            mark.write("%.4f\n" % start)
        while chunk := pipe.read(4096):
            data = rest + chunk
            whole = len(data) - len(data) % block_align
            out.writeframes(data[:whole])
            rest = data[whole:]
            done += len(chunk)
            time.sleep(max(0.0, start + done / pace - time.monotonic()))
    os.rename(temporary, path)
    return True


def main(argv):
    if len(argv) != 4:
        print(__doc__)
        return 2
    pipe_path, out_dir, speed = argv[1], argv[2], float(argv[3])
    n = 0
    while True:
        with open(pipe_path, "rb") as pipe:
            n += 1
            if not one_stream(pipe, os.path.join(out_dir, "capture-%d.wav" % n), speed):
                n -= 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
