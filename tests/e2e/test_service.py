"""The instrument played live through the tracking service: a fake service on a loopback port
(python3-websockets) greets the program, waits for its two requests and streams a performance
frame by frame at the tracker's pace; the instrument must pluck and sound the expected note.
"""

import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # first: it reports a missing numpy as a skip
import numpy as np

import analysis
import performances

from fake_service import REQUESTS, FakeService

NOTE_32 = "note: 32 freq: 51.9131"


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


class LiveServiceTest(unittest.TestCase):
    def test_a_sweep_from_the_service_plucks_and_sounds_note_32_and_records_it(self):
        # Two rightward plucks of the one string a fresh harp has, 1.5 s apart.
        performance = performances.melody([0, 0], 1, 1.5, lead_in=0.5)
        performance.pause(2.0)
        performance.clear()
        service = FakeService(performance.lines)
        try:
            with harness.Session(harness.artifacts_dir("service-live")) as session:
                recording_path = os.path.join(session.tempdir("live"), "live.jsonl")
                sound = session.record()
                app = session.quorvel(tracking="service:" + service.url,
                                      extra_env={"QUORVEL_TRACKING_RECORD": recording_path})
                window = app.window()
                wait_until(lambda: len(service.requests) == 2, 20, "the two requests")
                self.assertEqual(service.paths, ["/v6.json"])
                self.assertEqual(service.requests, REQUESTS)

                service.play()
                app.wait_for_line(r"^Disconnected$", timeout=30.0)
                samples = sound.stop()
                window.keys("q")
                self.assertEqual(app.wait_exit(), 0, app.text("err"))

                lines = app.lines()
                self.assertIn("Connected", lines)
                self.assertEqual(app.plucks(), ["trig", NOTE_32] * 2)
                errors = app.text("err")
                self.assertIn("connected to the tracking service at " + service.url, errors)
                # The tracking library's own lines go to standard error only.
                self.assertFalse([line for line in lines if line.startswith("tracking")], lines)

                mono, onsets, joins = analysis.plucks_heard(samples[:, 0], 2, min_gap=0.9,
                                                            with_joins=True)
                self.assertEqual(len(onsets), 2, [round(onset, 3) for onset in onsets])
                pitches = analysis.pitches_heard(mono, onsets, joins, window=0.3, ringing=False)
                for onset, pitch in zip(onsets, pitches):
                    self.assertIsNotNone(pitch, onset)
                    self.assertLess(analysis.relative_error(pitch, analysis.note_frequency(32)),
                                    0.01, f"{pitch:.2f} Hz at {onset:.3f} s")

                # The program ended by "q", and the recording is complete: it replays the same
                # plucks.
                with open(recording_path) as recorded:
                    recorded_lines = recorded.read().splitlines()
                # First the harp's settings it was played with.
                self.assertEqual(json.loads(recorded_lines.pop(0))["instrument"],
                                 {"strings": 1, "scale": "pentatonic-major", "key": 32,
                                  "touch": False, "voice": "classic"})
                # A connect, the frames (a listener that fell behind may have skipped some),
                # a disconnect.
                self.assertLessEqual(len(recorded_lines), len(performance.lines) + 2)
                self.assertEqual(json.loads(recorded_lines[0])["event"]["state"]["streaming"],
                                 True)
                self.assertEqual(json.loads(recorded_lines[-1])["event"]["state"]["streaming"],
                                 False)
                replay = session.quorvel(tracking="replay:" + recording_path)
                replay.window()
                replay.wait_for_line(r"^Disconnected$", timeout=30.0)
                self.assertEqual(replay.plucks(), ["trig", NOTE_32] * 2)
        finally:
            service.close()

    def test_with_no_service_running_the_program_plays_on_as_with_no_device(self):
        # The default: nothing set, nothing listening at the service's address.
        with harness.Session(harness.artifacts_dir("service-missing")) as session:
            app = session.quorvel(tracking=None)
            window = app.window()
            app.wait_for_line(r"no tracking service at ws://127\.0\.0\.1:6437/v6\.json",
                              timeout=20.0, which="err")
            time.sleep(2.0)  # several attempts, 0.5 s apart
            self.assertTrue(app.alive())
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))
            lines = app.lines()
            self.assertIn("Initialized", lines)
            self.assertNotIn("Connected", lines)
            errors = app.text("err").splitlines()
            self.assertEqual(len([line for line in errors if "tracking service" in line]), 1,
                             errors)


if __name__ == "__main__":
    harness.main()
