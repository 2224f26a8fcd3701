"""Faults around the instrument that a player may meet while playing. The loss's lines, the
processor time without sound, the keys and the return of the sound: faults_sound_server."""

import os
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import numpy as np

import scene


class SoundServerGoneTest(unittest.TestCase):
    def test_the_picture_and_tracking_go_on_when_the_sound_server_dies(self):
        with harness.Session(harness.artifacts_dir("faults-sound-server")) as session:
            sound = session.sound()
            app = session.quorvel(tracking="demo")
            window = app.window()
            app.wait_for_line(r"^note: ", timeout=30.0)
            sound.kill()
            notes = len(app.notes())
            # Tracking goes on: the demo's fingertips keep plucking.
            app.wait_for_line(r"^note: ", count=notes + 2, timeout=30.0)
            # The window redraws: the fingertips move, under the banner.
            first = window.screenshot()
            time.sleep(0.5)
            second = window.screenshot()
            first.save_png(os.path.join(session.root, "after-kill.png"))
            self.assertFalse(np.array_equal(first.pixels, second.pixels), "the picture froze")
            self.assertIsNotNone(scene.banner(second))
            window.keys("q")
            status = app.wait_exit(20.0)
        self.assertEqual(status, 0, app.text("err")[-3000:])


if __name__ == "__main__":
    harness.main()
