"""Faults around the instrument that a player may meet while playing."""

import os
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import numpy as np

import scene


def count(app, prefix):
    return sum(1 for line in app.lines() if line.startswith(prefix))


def cpu_seconds(pid):
    """User and system time the process has used so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class SoundServerGoneTest(unittest.TestCase):
    def test_window_and_tracking_go_on_when_the_sound_server_dies(self):
        with harness.Session(harness.artifacts_dir("faults-sound-server")) as session:
            sound = session.sound()
            app = session.quorvel(tracking="demo")
            window = app.window()
            app.wait_for_line(r"^note: ", timeout=30.0)
            sound.kill()
            notes = count(app, "note: ")
            errors_before = app.line_count("err")
            cpu_before, wall_before = cpu_seconds(app.pid), time.monotonic()
            time.sleep(3.0)
            self.assertTrue(app.alive(), app.text("err")[-3000:])
            cores = (cpu_seconds(app.pid) - cpu_before) / (time.monotonic() - wall_before)
            errors = app.line_count("err") - errors_before
            print(f"after the server died: {cores:.2f} cores busy, {errors} lines on standard "
                  "error in 3 s", flush=True)
            # The loss is reported, not repeated: no thread spins on the dead connection.
            self.assertLess(errors, 50, app.text("err")[-1000:])
            self.assertLess(cores, 0.6, "a thread spins on the dead sound server")
            # Tracking goes on: the demo's fingertips keep plucking.
            app.wait_for_line(r"^note: ", count=notes + 2, timeout=30.0)
            # The window goes on: it redraws (the fingertips move) and answers keys.
            first = window.screenshot()
            time.sleep(0.5)
            second = window.screenshot()
            first.save_png(os.path.join(session.root, "after-kill.png"))
            self.assertFalse(np.array_equal(first.pixels, second.pixels), "the picture froze")
            self.assertIsNotNone(scene.banner(second))
            window.keys("w")
            app.wait_for_line(r"^refresh rate: 61$")
            window.keys("q")
            status = app.wait_exit(20.0)
        self.assertEqual(status, 0, app.text("err")[-3000:])


if __name__ == "__main__":
    harness.main()
