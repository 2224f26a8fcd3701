#!/usr/bin/env python3
"""How much faster than real time quorvel-render bounces a ten-string performance: rendered
audio seconds over wall-clock seconds, whole program (start-up and file writing included), and
over the CPU seconds it used (what a machine shared with other work cannot blur).

Usage: bench/render/render_speed.py build/<dir>/quorvel-render [repetitions]

Renders a minute-long performance on ten strings (the glissando example's sweeps and both
example tunes, over and over, every string sounding) and the shipped examples, each several
times, and prints the median ratio of each.
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import performances  # noqa: E402


def minute_on_ten_strings(path):
    performance = performances.Performance()
    performance.instrument(strings=10, scale="diatonic")
    while performance.seconds < 60.0:
        performances.glissando(lead_in=0.5, performance=performance)
        performances.melody(performances.ODE_TO_JOY, 10, 0.25, performance=performance)
    performance.write(path)


def ratio(renderer, performance, output):
    """(audio seconds, wall seconds, CPU seconds) of one render."""
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([renderer, performance, output], check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    now = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (now.ru_utime - used.ru_utime) + (now.ru_stime - used.ru_stime)
    frames = (os.path.getsize(output) - 44) / 4  # 16-bit stereo after a 44-byte header
    return frames / 44100.0, wall, cpu


def main():
    renderer = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    with tempfile.TemporaryDirectory() as scratch:
        minute = os.path.join(scratch, "minute.jsonl")
        minute_on_ten_strings(minute)
        cases = [("minute on 10 strings", minute)] + [
            (name, os.path.join(SOURCE, "examples", name))
            for name in ("glissando.jsonl", "amazing-grace.jsonl", "ode-to-joy.jsonl")]
        print(f"{'performance':<24}{'audio s':>9}{'wall s':>9}{'x by wall':>11}{'cpu s':>9}"
              f"{'x by cpu':>10}")
        for name, path in cases:
            runs = [ratio(renderer, path, os.path.join(scratch, "out.wav"))
                    for _ in range(repetitions)]
            audio = runs[0][0]
            wall = statistics.median(wall for _, wall, _ in runs)
            cpu = statistics.median(cpu for _, _, cpu in runs)
            print(f"{name:<24}{audio:>9.1f}{wall:>9.3f}{audio / wall:>11.0f}{cpu:>9.3f}"
                  f"{audio / cpu:>10.0f}")


if __name__ == "__main__":
    main()
