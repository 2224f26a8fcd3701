"""Runs quorvel-render, the offline renderer, and reads what it wrote: the quickest way to know
what the harp plays for a performance, with no sound server and nothing that can underrun."""

import os
import subprocess

import numpy as np


def run(performance, output, *options, timeout=120.0):
    """The finished process (its stdout and stderr as text)."""
    binary = os.environ.get("QUORVEL_RENDER")
    assert binary and os.access(binary, os.X_OK), f"QUORVEL_RENDER is not the renderer: {binary!r}"
    return subprocess.run([binary, *options, performance, output], capture_output=True,
                          text=True, timeout=timeout)


def notes(stdout):
    return [int(line.split()[1]) for line in stdout.splitlines() if line.startswith("note: ")]


def read_wav(path):
    """(samples as floats, one row per frame; rate in Hz; "pcm16" or "float32"), read from the
    RIFF chunks directly: the wave module knows no float samples."""
    with open(path, "rb") as raw:
        data = raw.read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", "not a WAV file"
    position, fmt, samples = 12, None, None
    while position + 8 <= len(data):
        kind, size = data[position:position + 4], int.from_bytes(data[position + 4:position + 8],
                                                                  "little")
        body = data[position + 8:position + 8 + size]
        if kind == b"fmt ":
            # WAVE_FORMAT_EXTENSIBLE (0xFFFE) keeps the format's code in its sub-format.
            code = body[24:26] if body[0:2] == b"\xfe\xff" else body[0:2]
            fmt = (int.from_bytes(code, "little"), int.from_bytes(body[2:4], "little"),
                   int.from_bytes(body[4:8], "little"), int.from_bytes(body[14:16], "little"))
        elif kind == b"data":
            samples = body
        position += 8 + size + (size & 1)
    code, channels, rate, bits = fmt
    if code == 1 and bits == 16:
        return np.frombuffer(samples, "<i2").reshape(-1, channels) / 32768.0, rate, "pcm16"
    assert code == 3 and bits == 32, fmt
    return np.frombuffer(samples, "<f4").reshape(-1, channels).astype(np.float64), rate, "float32"
