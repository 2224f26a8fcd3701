"""Recordings the whole program makes and replays: the harp's settings travel with the frames,
an earlier recording is never written over, and a replay that waits for input never holds up
quitting."""

import json
import os
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import performances
import render

FIRST = [0, 2, 4, 5, 3, 1]   # on 6 strings, pentatonic major, from the file's own settings
SECOND = [0, 3, 6, 7, 5, 1]  # on 8 strings, diatonic: keys 3, a, a typed in between
FIRST_NOTES = [32, 37, 41, 44, 39, 34]
SECOND_NOTES = [32, 37, 43, 44, 41, 34]


def played(app):
    return [int(line.split()[1]) for line in app.lines() if line.startswith("note: ")]


def settings_lines(path):
    with open(path) as recording:
        lines = [json.loads(line) for line in recording]
    return [line for line in lines if "instrument" in line]


class RecordingTest(unittest.TestCase):
    def test_keys_pressed_during_a_replay_are_recorded_and_play_again_at_their_moment(self):
        performance = performances.Performance()
        performance.instrument(strings=6, scale="pentatonic-major")
        performances.melody(FIRST, 6, 0.4, lead_in=1.0, performance=performance)
        performance.pause(4.0)  # keys 3, a, a are typed here
        performances.melody(SECOND, 8, 0.4, performance=performance)
        performance.pause(1.0)
        performance.clear()
        with harness.Session(harness.artifacts_dir("recording-keys")) as session:
            directory = session.tempdir("perf")
            source, take = os.path.join(directory, "source.jsonl"), os.path.join(directory,
                                                                                 "take.jsonl")
            performance.write(source)
            app = session.quorvel(tracking="replay:" + source,
                                  extra_env={"QUORVEL_TRACKING_RECORD": take})
            window = app.window()
            app.wait_for_line(r"^note: ", count=len(FIRST), timeout=40.0)
            window.keys("3", "a", "a")
            app.wait_for_line(r"^Disconnected$", timeout=40.0)
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))
            live = played(app)
            self.assertEqual(live, FIRST_NOTES + SECOND_NOTES, app.text("err"))

            # The settings at the start, the file's own, then each key's change, stamped.
            settings = settings_lines(take)
            self.assertEqual([line["instrument"] for line in settings],
                             [{"strings": 1, "scale": "pentatonic-major", "key": 32, "touch": False,
                               "voice": "classic"},
                              {"strings": 6, "scale": "pentatonic-major", "key": 32, "touch": False,
                               "voice": "classic"},
                              {"strings": 6, "scale": "diatonic", "key": 32, "touch": False,
                               "voice": "classic"},
                              {"strings": 7, "scale": "diatonic", "key": 32, "touch": False,
                               "voice": "classic"},
                              {"strings": 8, "scale": "diatonic", "key": 32, "touch": False,
                               "voice": "classic"}])
            self.assertNotIn("timestamp", settings[0])
            self.assertTrue(all("timestamp" in line for line in settings[2:]))

            # The renderer plays the take to the same notes, pluck for pluck.
            rendered = render.run(take, os.path.join(directory, "take.wav"))
            self.assertEqual(rendered.returncode, 0, rendered.stderr)
            self.assertEqual(render.notes(rendered.stdout), live)
            self.assertEqual(rendered.stdout.count("trig\n"), app.text().count("trig\n"))

            # So does the instrument, with no key pressed, recording again to the same path:
            # the first take stays as it was, the second goes to a new file. Its voice, given on
            # the command line, is the harp's from the start and holds against the take's.
            with open(take, "rb") as kept:
                first_take = kept.read()
            again = session.quorvel(tracking="replay:" + take, args=("--voice", "concert"),
                                    extra_env={"QUORVEL_TRACKING_RECORD": take})
            again.wait_for_line(r"^Disconnected$", timeout=40.0)
            again.window().keys("q")
            self.assertEqual(again.wait_exit(), 0, again.text("err"))
            self.assertEqual(played(again), live)
            second = os.path.join(directory, "take-2.jsonl")
            self.assertIn("tracking: " + take + " holds an earlier recording; recording to " +
                          second, again.text("err"))
            with open(take, "rb") as kept:
                self.assertEqual(kept.read(), first_take)
            self.assertEqual({line["instrument"]["voice"] for line in settings_lines(second)},
                             {"concert"})
            self.assertEqual([line["instrument"] for line in settings_lines(second)][-1],
                             {"strings": 8, "scale": "diatonic", "key": 32, "touch": False,
                               "voice": "concert"})


class BlockedReplayTest(unittest.TestCase):
    def test_q_quits_while_the_replay_waits_for_a_writer_or_for_the_end_of_a_line(self):
        with harness.Session(harness.artifacts_dir("recording-blocked")) as session:
            directory = session.tempdir("fifo")
            silent, unfinished = (os.path.join(directory, name) for name in ("silent", "half"))
            os.mkfifo(silent)
            os.mkfifo(unfinished)

            # Nobody ever opens this one for writing.
            app = session.quorvel(tracking="replay:" + silent)
            app.window().keys("q")
            self.assertEqual(app.wait_exit(timeout=10.0), 0, app.text("err"))

            # This one gets half a frame and never the end of its line.
            app = session.quorvel(tracking="replay:" + unfinished)
            writer = None
            deadline = time.monotonic() + 20.0
            while writer is None and time.monotonic() < deadline:
                try:  # succeeds once the replay has the FIFO open for reading
                    writer = os.open(unfinished, os.O_WRONLY | os.O_NONBLOCK)
                except OSError:
                    time.sleep(0.05)
            self.assertIsNotNone(writer, "the replay never opened the FIFO")
            try:
                os.write(writer, b'{"id": 1, "timestamp": 0, "hands": [')
                app.window().keys("q")
                self.assertEqual(app.wait_exit(timeout=10.0), 0, app.text("err"))
            finally:
                os.close(writer)


if __name__ == "__main__":
    harness.main()
