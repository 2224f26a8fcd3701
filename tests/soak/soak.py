"""Endurance run of the whole instrument: the built-in demo performance plays for an hour after a
five-minute warm-up (or --duration seconds) on a private display and sound server while, once a
minute, the program's resident memory, threads and open files are sampled and a player's keys are
pressed (strings removed and added back, the next scale). Fails if the memory grows by more than
--bound-kib after the warm-up, if threads or files pile up, if the performance stops sounding or if
the program does not quit cleanly at the end. The program hands free heap pages back once a minute
and its frames fault them in again, so its memory swings within each minute: growth is the peak of
the last ten minutes over the peak of the first ten after the warm-up (halves of a shorter run).

Opt-in, not part of ctest: tests/soak/soak.sh runs it."""

import argparse
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402


def sample(pid):
    """Resident memory in KiB, thread count and open file count of process `pid`."""
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value.split()
    return int(fields["VmRSS"][0]), int(fields["Threads"][0]), len(os.listdir(f"/proc/{pid}/fd"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--duration", type=float, default=3900.0,
                        help="seconds of playing, the warm-up included")
    parser.add_argument("--interval", type=float, default=60.0, help="seconds between samples")
    parser.add_argument("--warmup", type=float, default=None,
                        help="seconds before memory must stay flat (default: a fifth of the "
                             "duration, at most 300)")
    parser.add_argument("--bound-kib", type=int, default=512,
                        help="growth allowed over the resident memory at the end of the warm-up")
    args = parser.parse_args()
    warmup = args.warmup if args.warmup is not None else min(300.0, args.duration / 5)
    os.environ["QUORVEL_BINARY"] = os.path.abspath(args.binary)

    failures = []
    with harness.Session() as session:
        sound = session.sound()
        app = session.quorvel(tracking="demo")
        window = app.window(timeout=60.0)
        app.wait_for_line(r"^note: ", timeout=60.0)
        window.keys(*["a"] * 9)  # ten strings, as the tunes use
        started = time.monotonic()
        print(f"playing the demo for {args.duration:.0f} s, pid {app.pid}, warm-up {warmup:.0f} s, "
              f"bound {args.bound_kib} KiB", flush=True)
        print("  minute   rss_kib  threads  fds  notes  streams", flush=True)

        samples = []  # (seconds since start, rss, threads, fds)
        notes_seen = 0
        scale_keys = "2341"
        tick = 0
        while True:
            elapsed = time.monotonic() - started
            if not app.alive():
                failures.append(f"the program ended after {elapsed:.0f} s; stderr:\n"
                                + app.text("err")[-3000:])
                break
            rss, threads, fds = sample(app.pid)
            notes = len(app.notes())
            streams = len(sound.sink_inputs())
            samples.append((elapsed, rss, threads, fds))
            print(f"  {elapsed / 60:6.1f}  {rss:8d}  {threads:7d}  {fds:3d}  {notes - notes_seen:5d}  "
                  f"{streams:7d}", flush=True)
            if tick > 0 and notes == notes_seen:
                failures.append(f"no note played in the minute before {elapsed:.0f} s")
            if streams != 1:
                failures.append(f"{streams} playing streams at {elapsed:.0f} s, expected 1")
            notes_seen = notes
            if elapsed >= args.duration:
                break
            # A player's keys: two strings off and back on, the next scale.
            window.keys("z", "z", "a", "a", scale_keys[tick % len(scale_keys)])
            tick += 1
            time.sleep(max(0.0, min(args.interval, args.duration - (time.monotonic() - started))))

        if app.alive():
            recording = sound.record()
            time.sleep(3.0)
            played = recording.stop()
            peak = float(np.max(np.abs(played))) if len(played) else 0.0
            print(f"last 3 s: peak {peak:.4f}", flush=True)
            if peak < 1e-3:
                failures.append(f"silent at the end (peak {peak})")
            window.keys("q")
            status = app.wait_exit(60.0)
            if status != 0:
                failures.append(f"exit status {status} after q; stderr:\n" + app.text("err")[-3000:])

    settled = [s for s in samples if s[0] >= warmup]
    if len(settled) >= 2:
        baseline = settled[0]
        span = max(1, min(int(600 / args.interval), len(settled) // 2))
        first = max(s[1] for s in settled[:span])
        last = max(s[1] for s in settled[-span:])
        print(f"resident memory: peak {first} KiB in the first {span} samples after the warm-up, "
              f"{last} KiB in the last {span} (growth {last - first:+d} KiB, bound "
              f"{args.bound_kib}); lowest {min(s[1] for s in settled)} KiB", flush=True)
        if last - first > args.bound_kib:
            failures.append(f"resident memory grew {last - first} KiB after the warm-up")
        for index, what in ((2, "threads"), (3, "open files")):
            if max(s[index] for s in settled) > baseline[index]:
                failures.append(f"{what} grew after the warm-up: {[s[index] for s in samples]}")
    else:
        failures.append("too short to compare memory after a warm-up: give --duration at least "
                        "two --interval beyond --warmup")

    for failure in failures:
        print("FAIL: " + failure, flush=True)
    print("soak: " + ("failed" if failures else "passed"), flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except harness.Skip as skip:
        print(f"SKIPPED: {skip}", flush=True)
        sys.exit(harness.SKIPPED)
