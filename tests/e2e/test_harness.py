"""The whole-program test harness itself: its display, its sound server, its measurements.

Runs without the instrument: a wrong pitch estimate or a recording that loses samples here
would make every sound test of the instrument meaningless.
"""

import os
import subprocess
import time
import unittest

import harness  # first: it reports a missing numpy as a skip

import numpy as np

import analysis


class DisplayTest(unittest.TestCase):
    def test_private_displays_show_a_black_screen_and_go_away(self):
        with harness.Session(private=True) as first, harness.Session(private=True) as second:
            one, two = first.display(), second.display()
            self.assertNotEqual(one.name, two.name)
            screen = one.screenshot()
            self.assertEqual((screen.width, screen.height), (1280, 1024))
            self.assertEqual(int(screen.pixels.max()), 0)
            pid = one.process.pid
        self.assertFalse(os.path.exists(f"/proc/{pid}") and _is_running(pid))


class SoundTest(unittest.TestCase):
    def test_recording_of_played_tones_keeps_onsets_pitch_level_and_channels(self):
        harness.require("paplay")
        rate = harness.RATE
        rng = np.random.default_rng(3)
        # After a little silence, 220 Hz then 330 Hz 0.6 s later, the same on both channels.
        tones = np.zeros(int(1.8 * rate))
        for start, frequency in ((0.2, 220.0), (0.8, 330.0)):
            first = int(start * rate)
            tones[first:] += _plucked(frequency, len(tones) - first, rng)
        tones *= 0.25 / np.abs(tones).max()
        with harness.Session() as session:
            sound = session.sound()
            if os.geteuid() == 0:  # root can always have real-time threads
                self.assertIn("null-sink", sound.realtime_threads())
            raw = os.path.join(session.tempdir("tones"), "tones.raw")
            np.repeat(tones.astype("<f4"), 2).tofile(raw)
            recording = session.record()
            player = session.spawn(["paplay", "--raw", "--format=float32le", f"--rate={rate}",
                                    "--channels=2", raw],
                                   dict(session.base_env(), **sound.env), "paplay")
            self.assertEqual(player.wait_exit(20.0), 0, player.text("err"))
            time.sleep(0.3)
            samples = recording.stop()
        self.assertGreater(len(samples), len(tones))
        self.assertTrue(np.array_equal(samples[:, 0], samples[:, 1]))
        # Nothing lost or scaled on the way: the recording holds the played samples exactly.
        self.assertEqual(float(np.abs(samples).max()), float(np.float32(0.25)))
        mono = samples[:, 0]
        onsets = analysis.find_onsets(mono)
        self.assertEqual(len(onsets), 2, onsets)
        self.assertAlmostEqual(onsets[1] - onsets[0], 0.6, delta=0.02)
        for onset, expected in zip(onsets, (220.0, 330.0)):
            pitch = analysis.pitch_after(mono, onset)
            self.assertIsNotNone(pitch)
            self.assertLess(analysis.relative_error(pitch, expected), 0.01, pitch)

    def test_no_two_servers_share_a_socket(self):
        with harness.Session(private=True) as first, harness.Session(private=True) as second:
            self.assertNotEqual(first.sound().socket, second.sound().socket)
            first.sound().pactl("info")
            second.sound().pactl("info")


class PitchTest(unittest.TestCase):
    """Notes that overlap, as a harp's do, and gaps in the sound: each note is found at its
    onset and measured alone.
    The stimulus tunes by whole periods, so its pitch lies up to 0.6 % below the note's."""

    def test_overlapping_plucked_notes(self):
        rate = harness.RATE
        notes = [32, 37, 41, 46, 53, 44]
        gap = 0.5
        mix = np.zeros(int((len(notes) * gap + 2.0) * rate))
        rng = np.random.default_rng(7)
        for index, note in enumerate(notes):
            start = int((0.3 + index * gap) * rate)
            mix[start:] += _plucked(analysis.note_frequency(note), len(mix) - start, rng) / 12
        # Underruns of the stream: the sound server plays a few ms of zeros and the sound goes on
        # where it was, here inside a note's measuring window, between notes and at a pluck.
        played = mix
        for at in (0.3 + 3 * gap + 0.15, 0.3 + 4 * gap + 0.45, 0.3 + 5 * gap):
            first = int(at * rate)
            played = np.concatenate([played[:first], np.zeros(265), played[first:]])
        self.assertEqual(len(analysis.dropouts(played)), 3)
        self.assertTrue(np.array_equal(analysis.without_gaps(played), mix))
        onsets = analysis.find_onsets(mix)
        self.assertEqual(len(onsets), len(notes), onsets)
        for onset, note in zip(onsets, notes):
            pitch = analysis.pitch_after(mix, onset)
            self.assertLess(analysis.relative_error(pitch, analysis.note_frequency(note)), 0.01,
                            (note, pitch))


def _plucked(frequency, length, rng):
    """A plucked string (Karplus-Strong: one period of noisy triangle fed back through a
    two-point average), so the stimulus has a harp string's bright attack and slow decay."""
    period = int(harness.RATE / frequency)
    triangle = 1.0 - np.abs(np.linspace(-1.0, 1.0, period))
    line = list(np.clip(triangle + rng.normal(0.0, 0.05, period), -1.0, 1.0))
    out = np.empty(length)
    for t in range(length):
        out[t] = line[t]
        line.append(0.5 * (0.99 * line[t] + line[-1]))
    return out


def _is_running(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().split(")")[1].split()[0] != "Z"
    except OSError:
        return False


if __name__ == "__main__":
    harness.main()
