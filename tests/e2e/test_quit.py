"""Ending the instrument while everything plays: the tracking and audio threads must be stopped
before what they use is destroyed. Also run in the AddressSanitizer and ThreadSanitizer builds,
whose reports end the process with a failure status and are looked for on standard error."""

import unittest

import harness  # first: it reports a missing numpy as a skip
import xclient

SANITIZER_REPORTS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer",
                     "runtime error:")


class QuitWhilePlayingTest(unittest.TestCase):
    def check_clean(self, app, status):
        errors = app.text("err")
        for report in SANITIZER_REPORTS:
            self.assertNotIn(report, errors, errors[-6000:])
        self.assertEqual(status, 0, errors[-3000:])

    def test_q_key(self):
        with harness.Session(harness.artifacts_dir("quit-key")) as session:
            app = session.quorvel(tracking="demo")
            window = app.window(timeout=60.0)
            app.wait_for_line(r"^note: ", count=2, timeout=60.0)
            window.keys("a", "a")
            window.keys("q")
            status = app.wait_exit(60.0)
        self.check_clean(app, status)
        self.assertNotIn("byebye!", app.lines())

    def test_window_closed(self):
        with harness.Session(harness.artifacts_dir("quit-close")) as session:
            app = session.quorvel(tracking="demo")
            window = app.window(timeout=60.0)
            app.wait_for_line(r"^note: ", count=2, timeout=60.0)
            xclient.request_close(session.display().name, window.id)
            status = app.wait_exit(60.0)
        self.check_clean(app, status)
        self.assertEqual(app.lines()[-1], "byebye!")


if __name__ == "__main__":
    harness.main()
