"""What the fault tests need beyond the whole-program harness: a tracking service that can
vanish and return, readings of a running process, and a check of what was heard.
"""

import os
import signal
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

import harness  # noqa: E402  first: it reports a missing numpy as a skip
import numpy as np  # noqa: E402

import analysis  # noqa: E402
import performances  # noqa: E402


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_service(session, port, performance_path):
    """The fake tracking service (fake_service.py) on a loopback port, looping a performance."""
    script = os.path.join(HERE, "..", "e2e", "fake_service.py")
    return session.spawn([sys.executable, script, str(port), performance_path],
                         session.base_env(), "fake-service")


def kill(process):
    """Ends a process at once, as a crash would: no goodbye to its peers."""
    process.signal(signal.SIGKILL)
    process.wait_exit(10.0)


def rss_kib(pid):
    """Resident memory of a process in KiB."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError(f"no VmRSS for process {pid}")


def peak_rss_kib(pid, seconds):
    """The highest resident memory of a process over the next `seconds`, sampled every 0.1 s."""
    peak, end = rss_kib(pid), time.monotonic() + seconds
    while time.monotonic() < end:
        time.sleep(0.1)
        peak = max(peak, rss_kib(pid))
    return peak


def cpu_seconds(pid, tid=None):
    """User and system time a process (or one of its threads) has used so far."""
    path = f"/proc/{pid}/stat" if tid is None else f"/proc/{pid}/task/{tid}/stat"
    with open(path) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_rate(pid, seconds, tid=None):
    """Share of a core a process (or one of its threads) uses over the next `seconds`."""
    before, start = cpu_seconds(pid, tid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid, tid) - before) / (time.monotonic() - start)


def plucking(strings_played, strings, beat, path):
    """Writes a performance that plucks the given strings one per beat (seconds), for playing
    in a loop: the finger starts each round from the left, in front of the plane."""
    performance = performances.melody(strings_played, strings, beat, lead_in=0.1)
    performance.write(path)
    return performance


def quit_time(app, window):
    """Types "q" and returns (exit status, seconds from typing to the process's end)."""
    typed = time.monotonic()
    window.keys("q", delay_ms=0)
    status = app.wait_exit(20.0)
    return status, time.monotonic() - typed


def strongest_frequency(mono, low=30.0, high=2000.0):
    """Frequency in Hz of the strongest spectral peak of a whole recording. Over several plucks
    of one string that is its fundamental, however the plucks overlap."""
    pad = 1 << 20
    spectrum = np.abs(np.fft.rfft(mono * np.hanning(len(mono)), n=pad))
    bins = np.fft.rfftfreq(pad, 1.0 / harness.RATE)
    band = np.nonzero((bins >= low) & (bins <= high))[0]
    return float(bins[band[np.argmax(spectrum[band])]])


def plucked_note_32(test, samples, what):
    """The recording holds repeated plucks of note 32 (51.9 Hz), on both channels alike:
    at least two onsets, and a fundamental within 1 % of the note. Gaps the sound server filled
    while the stream underran (a loaded machine) are cut out first: they would flatten the
    pitch."""
    test.assertTrue(np.array_equal(samples[:, 0], samples[:, 1]), f"{what}: the channels differ")
    gaps = analysis.dropouts(samples[:, 0])
    if gaps:
        print(f"{what}: {len(gaps)} gaps in the sound (stream underruns, cut out)", flush=True)
    mono = analysis.without_gaps(samples[:, 0])
    peak = float(np.abs(mono).max(initial=0.0))
    test.assertGreater(peak, 0.01, f"{what}: silence (peak {peak:.5f})")
    onsets = analysis.find_onsets(mono, min_gap=0.6)
    harness.measured(f"onsets ({what})", len(onsets))
    test.assertGreaterEqual(len(onsets), 2, f"{what}: plucks heard at {onsets} s")
    pitch = strongest_frequency(mono)
    expected = analysis.note_frequency(32)
    test.assertLess(analysis.relative_error(pitch, expected), 0.01,
                    f"{what}: {pitch:.2f} Hz, not {expected:.2f} Hz")
    return peak, onsets, pitch
