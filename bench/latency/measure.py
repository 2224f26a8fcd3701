"""Motion-to-sound latency of the whole program: from the moment the tracking service sends the
frame whose fingertip crosses a string to the moment that pluck is heard at the output.

    python3 bench/latency/measure.py [--plucks N] [--systems pulse,jack]

Runs the built program (QUORVEL_BINARY, default build/default/quorvel) under a private Xvfb, with
this script as its tracking service (the fake service's protocol), once per sound system:

- pulse: a private PulseAudio with a null sink, the program's default settings. The null sink's
  monitor is read as it arrives; the sink renders each block when the previous one has played
  and keeps it for its configured latency, so a sample is heard at (the earliest arrival of its
  block) + (the sink's configured latency), the monitor's sample clock fixing the rest.
- jack: a JACK server on the dummy backend at 128 frames; latency_jack_listen (built beside the
  benchmarks) takes the program's two outputs in the same cycle and notes when each block is
  heard: when it was handed on plus the playback latency the server reports.

A pluck is heard where the recording departs from the string's ringing: the signal less itself one
period earlier (the string's period) rises above the ringing's residue. Prints each pluck, then the
median and worst per system, and where the time goes: service -> "note:" line (tracking thread,
pluck, console; an upper bound) and "note:" line -> heard (waiting for the next audio block and
the server's buffer). Needs the test packages (scripts/deps.sh test).
"""

import argparse
import asyncio
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))
for part in (("tests", "e2e"), ("tests", "faults")):
    sys.path.insert(0, os.path.join(ROOT, *part))

import harness  # noqa: E402  first: it reports a missing numpy
import numpy as np  # noqa: E402
import performances  # noqa: E402
from fake_service import GREETING, device_event  # noqa: E402
from test_midi import start_jack  # noqa: E402

import websockets  # noqa: E402

RATE = 44100
STRING_X = 0.5         # the one string of a fresh harp
NOTE_HZ = 51.9131      # its note, 32
PLUCK_SECONDS = 0.6    # one pluck per this
HEIGHT = 0.6
# The monitor's fragment: a record stream's latency is asked of the sink too, so a short one would
# run the sink faster than the program's own stream makes it run.
MONITOR_MS = 100


def performance(plucks):
    """Frames of `plucks` plucks; returns (lines, indices of the crossing frames). The fingertip
    reaches through the plane beside the string and jumps across it in one frame, so exactly one
    frame crosses; the plucks go right and left by turns, so each burst is the last one negated
    and stands out from the string's ringing."""
    perf = performances.Performance()
    sides = (STRING_X - 0.2, STRING_X + 0.2)
    above, beyond = performances.ABOVE_MM, performances.BEYOND_MM
    perf.place(1, sides[0], HEIGHT, above)
    perf.hold(0.1)
    for pluck in range(plucks):
        start, end = sides[pluck % 2], sides[1 - pluck % 2]
        perf.move(0.03, f1=(start, HEIGHT, beyond))
        perf.hold(0.05)
        perf.move(0.01, f1=(end, HEIGHT, beyond))
        perf.hold(0.05)
        perf.move(0.03, f1=(end, HEIGHT, above))
        perf.hold(PLUCK_SECONDS - 0.17)
    crossings, last_x = [], None
    for index, line in enumerate(perf.lines):
        x_mm, _, z = json.loads(line)["pointables"][0]["tipPosition"]
        x = (x_mm + 200.0) / 400.0
        if last_x is not None and z < 0 and (last_x <= STRING_X < x or x <= STRING_X < last_x):
            crossings.append(index)
        last_x = x
    assert len(crossings) == plucks, crossings
    return perf.lines, crossings


class Service(threading.Thread):
    """The tracking service: idles (a fingertip in front of the plane) until go(), then sends
    the performance at 100 frames a second, noting when each crossing frame goes out."""

    def __init__(self, port, lines, crossings):
        super().__init__(daemon=True)
        self.port, self.lines, self.crossings = port, lines, set(crossings)
        self.started = threading.Event()
        self.going = threading.Event()
        self.done = threading.Event()
        self.sent = []  # monotonic seconds

    def go(self):
        self.going.set()

    async def serve(self, connection, *_):
        await connection.send(GREETING)
        for _ in range(2):
            await connection.recv()
        await connection.send(device_event(True))
        while not self.going.is_set():
            await connection.send(self.lines[0])
            await asyncio.sleep(0.01)
        start = time.monotonic()
        for index, line in enumerate(self.lines):
            delay = start + index * performances.FRAME_SECONDS - time.monotonic()
            if delay > 0:
                await asyncio.sleep(delay)
            if index in self.crossings:
                self.sent.append(time.monotonic())
            await connection.send(line)
        self.done.set()
        await asyncio.Future()

    async def main(self):
        async with websockets.serve(self.serve, "127.0.0.1", self.port):
            self.started.set()
            await asyncio.Future()

    def run(self):
        asyncio.run(self.main())


class MonitorReader(threading.Thread):
    """parec on the null sink's monitor; notes when each chunk arrives."""

    def __init__(self, sound):
        super().__init__(daemon=True)
        env = dict(sound.session.base_env(), **sound.env)
        self.process = subprocess.Popen(
            ["parec", f"--device={harness.SINK}.monitor", "--raw", "--format=float32le",
             f"--rate={RATE}", "--channels=2", f"--latency-msec={MONITOR_MS}"], env=env,
            stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
        self.chunks, self.arrivals, self.frames = [], [], 0

    def run(self):
        pending = b""
        while True:
            data = os.read(self.process.stdout.fileno(), 1 << 16)
            now = time.monotonic()
            if not data:
                return
            pending += data
            usable = len(pending) // 8 * 8
            if usable:
                self.chunks.append(pending[:usable])
                pending = pending[usable:]
                self.frames += usable // 8
                self.arrivals.append((now, self.frames))

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait(10)
        self.join(10)
        return np.frombuffer(b"".join(self.chunks), dtype="<f4").reshape(-1, 2)[:, 0]


def onsets(mono, heard, sent):
    """For each send time, the time the pluck is first heard (None when not found): the first
    sample after the send whose departure from the string's ringing (x[n] - x[n - period])
    passes both 5x the residue just before and 5 % of the pluck's own peak. `heard`: the time
    each sample is heard, monotonic seconds."""
    # A stream that underran left runs of exact zeros in the recording and then goes on where it
    # stopped: joined up again, the ringing is periodic, and each sample keeps its own time. The
    # silence before the first sound stays: without it the first pluck's first period would have
    # nothing to depart from, and would be heard a period late.
    silent = np.concatenate([[0], (mono == 0.0).astype(np.int8), [0]])
    edges = np.flatnonzero(np.diff(silent))
    keep = np.ones(len(mono), dtype=bool)
    for start, end in zip(edges[0::2], edges[1::2]):
        if end - start >= 16 and start > 0:
            keep[start:end] = False
    mono, heard = mono[keep], heard[keep]
    period = RATE / NOTE_HZ
    whole, part = int(period), period - int(period)
    residual = np.zeros_like(mono)
    residual[whole + 1:] = mono[whole + 1:] - ((1 - part) * mono[1:-whole] + part * mono[:-whole - 1])
    found = []
    for when in sent:
        start = int(np.searchsorted(heard, when))
        end = int(np.searchsorted(heard, when + 0.3))
        before = residual[max(0, start - int(0.03 * RATE)):start]
        window = np.abs(residual[start:end])
        if len(window) == 0:
            found.append(None)
            continue
        floor = max(5 * float(np.abs(before).max(initial=0.0)), 0.05 * float(window.max()))
        above = np.flatnonzero(window > floor)
        found.append(float(heard[start + above[0]]) if len(above) else None)
    return found


def note_times(app, count):
    return [when for when, text in app.timed_lines() if text.startswith("note: ")][:count]


def report(name, sent, heard, notes, detail):
    print(f"\n== {name}: {detail}")
    rows = []
    for index, when in enumerate(sent):
        if heard[index] is None:
            print(f"pluck {index + 1:2d}: not heard")
            continue
        total = (heard[index] - when) * 1000
        to_note = (notes[index] - when) * 1000 if index < len(notes) else float("nan")
        rows.append((total, to_note, total - to_note))
        print(f"pluck {index + 1:2d}: {total:6.1f} ms  (service -> note line {to_note:5.1f} ms, "
              f"note line -> heard {total - to_note:5.1f} ms)")
    if rows:
        totals = np.array([row[0] for row in rows])
        print(f"{name}: {len(rows)} plucks heard of {len(sent)}: median {np.median(totals):.1f} ms, "
              f"worst {totals.max():.1f} ms; median service -> note line "
              f"{np.nanmedian([row[1] for row in rows]):.1f} ms, note line -> heard "
              f"{np.nanmedian([row[2] for row in rows]):.1f} ms")
    return rows


def play(session, service, lines, extra_env):
    app = session.quorvel(tracking=f"service:ws://127.0.0.1:{service.port}/v6.json",
                          extra_env=extra_env)
    app.window()
    app.wait_for_line(r"^Connected$", timeout=30.0)
    return app


def perform(service, lines, app):
    time.sleep(1.0)  # past the stream's start
    service.go()
    service.done.wait(len(lines) * performances.FRAME_SECONDS + 30.0)
    time.sleep(0.5)
    return app


def measure_pulse(plucks):
    lines, crossings = performance(plucks)
    with harness.Session() as session:
        sound = session.sound()
        service = Service(harness_free_port(), lines, crossings)
        service.start()
        service.started.wait(10)
        reader = MonitorReader(sound)
        reader.start()
        app = play(session, service, lines, {"QUORVEL_AUDIO": "pulse"})
        sink = sound.pactl("list", "sinks").stdout
        stream = sound.sink_inputs()[0]
        perform(service, lines, app)
        configured = [int(v) for v in re.findall(r"Latency: \d+ usec, configured (\d+) usec", sink)]
        mono = reader.stop()
        notes = note_times(app, plucks)
        block = configured[0] / 1e6
        arrivals = np.array(reader.arrivals)
        start = float(np.min(arrivals[:, 0] - arrivals[:, 1] / RATE)) + block
        heard_at = start + np.arange(len(mono)) / RATE
        heard = onsets(mono, heard_at, service.sent)
        if os.environ.get("LATENCY_DUMP"):
            np.savez(os.environ["LATENCY_DUMP"], mono=mono, heard_at=heard_at, sent=service.sent)
        return report("pulse", service.sent, heard, notes,
                      f"stream buffer {stream['Buffer Latency']}, sink {stream['Sink Latency']}, "
                      f"null sink configured {block * 1000:.1f} ms")


def measure_jack(plucks, listen_binary):
    lines, crossings = performance(plucks)
    with harness.Session() as session:
        jack = start_jack(session, rate=RATE, period=128)
        env = dict(session.base_env(), **jack)
        prefix = os.path.join(session.tempdir("jack"), "heard")
        listener = session.spawn([listen_binary, prefix], env, "listen")
        ready = listener.wait_for_line(r"^ready", timeout=20.0)[1].string
        service = Service(harness_free_port(), lines, crossings)
        service.start()
        service.started.wait(10)
        app = play(session, service, lines, dict(jack, QUORVEL_AUDIO="jack"))
        ports = subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True).stdout
        outputs = [p for p in ports.split("\n") if re.search(r":outport [01]$", p)]
        for port, into in zip(sorted(outputs), ("latency_listen:in_1", "latency_listen:in_2")):
            subprocess.run(["jack_connect", port, into], env=env, check=True)
        perform(service, lines, app)
        listener.signal(signal.SIGINT)
        listener.wait_exit(20)
        notes = note_times(app, plucks)
        blocks = np.loadtxt(prefix + ".times", dtype=np.int64).reshape(-1, 2)
        raw = np.fromfile(prefix + ".raw", dtype=np.float32)
        mono, heard_at, offset = [], [], 0
        for frames, heard_ns in blocks:
            mono.append(raw[offset:offset + frames])
            heard_at.append(heard_ns / 1e9 + np.arange(frames) / RATE)
            offset += 2 * frames
        mono, heard_at = np.concatenate(mono), np.concatenate(heard_at)
        heard = onsets(mono, heard_at, service.sent)
        if os.environ.get("LATENCY_DUMP"):
            np.savez(os.environ["LATENCY_DUMP"], mono=mono, heard_at=heard_at, sent=service.sent,
                     blocks=blocks)
        return report("jack", service.sent, heard, notes,
                      f"period 128 frames, {ready.strip()}")


def harness_free_port():
    import faultkit
    return faultkit.free_port()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--plucks", type=int, default=24)
    parser.add_argument("--systems", default="pulse,jack")
    args = parser.parse_args()
    os.environ.setdefault("QUORVEL_BINARY", os.path.join(ROOT, "build", "default", "quorvel"))
    listen = os.environ.get("LATENCY_JACK_LISTEN",
                            os.path.join(ROOT, "build", "default", "bench", "latency_jack_listen"))
    print(f"load average before: {os.getloadavg()}, {os.cpu_count()} cores")
    for system in args.systems.split(","):
        if system == "pulse":
            measure_pulse(args.plucks)
        elif system == "jack":
            if shutil.which("jackd") is None or not os.access(listen, os.X_OK):
                sys.exit("jack needs jackd and latency_jack_listen (cmake --build --preset default)")
            measure_jack(args.plucks, listen)
    print(f"load average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
