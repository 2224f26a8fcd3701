"""Starting and ending the instrument: what it prints, where its window opens, how it quits."""

import os
import subprocess
import unittest

import harness  # first: it reports a missing numpy as a skip
import performances


def hovering_finger(session, finger_id=7, seconds=1.0):
    """A performance with one fingertip in front of the strings that then leaves the device."""
    performance = performances.Performance()
    performance.place(finger_id, 0.3, 0.5, performances.ABOVE_MM)
    performance.hold(seconds)
    path = os.path.join(session.tempdir("perf"), "hover.jsonl")
    performance.write(path)
    return path


class StartupTest(unittest.TestCase):
    def test_start_up_lines_window_and_quit_key(self):
        with harness.Session(harness.artifacts_dir("startup")) as session:
            app = session.quorvel(tracking="replay:" + hovering_finger(session))
            window = app.window()
            geometry = window.geometry()
            app.wait_for_line(r"^Disconnected$")
            window.keys("q")
            status = app.wait_exit()
        lines = app.lines()
        self.assertEqual(status, 0, app.text("err"))
        self.assertEqual(geometry, (100, 100, 800, 600))
        # The stream's rate first, then the greeting; the listener's lines in their own order.
        self.assertIn("44100", lines)
        self.assertIn("Hit q to quit.", lines)
        self.assertLess(lines.index("44100"), lines.index("Hit q to quit."))
        listener = [line for line in lines
                    if line in ("Initialized", "Connected", "Disconnected")
                    or line.startswith("inserted finger: ")]
        self.assertEqual(listener, ["Initialized", "Connected", "inserted finger: 7",
                                    "Disconnected"])
        self.assertNotIn("byebye!", lines)

    def test_menu_quit_ends_with_status_0(self):
        with harness.Session(harness.artifacts_dir("startup-menu")) as session:
            app = session.quorvel(tracking="demo")
            window = app.window()
            app.wait_for_line(r"^Hit q to quit\.$")
            entries = window.open_menu()
            self.assertEqual(len(entries), 3, entries)
            window.click_menu_entry(entries, 2)  # "Clear", "Draw", "Quit"
            status = app.wait_exit()
        self.assertEqual(status, 0, app.text("err"))
        self.assertNotIn("byebye!", app.lines())

    def test_settings_are_judged_before_anything_starts(self):
        # --version needs none of the window's, camera's or sound's libraries.
        shown = subprocess.run([harness.quorvel_binary(), "--version"], capture_output=True,
                               text=True, env=dict(os.environ, LD_DEBUG="libs"), timeout=10)
        self.assertRegex(shown.stdout, r"^quorvel \d[^\n]*\nCopyright .*\nMIT License")
        loaded = [line for line in shown.stderr.splitlines() if "calling init:" in line]
        self.assertFalse([line for line in loaded
                          if any(heavy in line for heavy in ("opencv", "libGL", "glut",
                                                             "onnxruntime", "rtaudio"))], loaded)
        # A typo in a setting is refused in one line, with no window and no sound.
        with harness.Session(harness.artifacts_dir("startup-refused")) as session:
            app = session.quorvel(tracking="demo", extra_env={"QUORVEL_CAMERA_MODEL": "ful"})
            status = app.wait_exit()
        self.assertEqual(status, 2)
        self.assertEqual(app.lines("err"),
                         ['quorvel: QUORVEL_CAMERA_MODEL takes lite or full, not "ful"'])
        self.assertEqual(app.lines(), [])


if __name__ == "__main__":
    harness.main()
