"""Ending the instrument while everything plays: the tracking and audio threads must be stopped
before what they use is destroyed. Also run in the AddressSanitizer and ThreadSanitizer builds,
whose reports end the process with a failure status and are looked for on standard error."""

import array
import fcntl
import json
import os
import signal
import termios
import time
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

    def test_quit_signals_take_the_way_of_q_and_end_with_their_own_status(self):
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=number.name), \
                    harness.Session(harness.artifacts_dir("quit-" + number.name)) as session:
                recording = os.path.join(session.tempdir("recording"), "played.jsonl")
                app = session.quorvel(tracking="demo",
                                      extra_env={"QUORVEL_TRACKING_RECORD": recording})
                app.window(timeout=60.0)
                app.wait_for_line(r"^note: ", count=2, timeout=60.0)
                app.signal(number)
                status = app.wait_exit(60.0)
                with open(recording, encoding="utf-8") as played:
                    recorded = played.read()
            errors = app.text("err")
            for report in SANITIZER_REPORTS:
                self.assertNotIn(report, errors, errors[-6000:])
            self.assertEqual(status, -number, errors[-3000:])
            # Flushed whole: every line a frame or an event, the last one ended.
            self.assertTrue(recorded.endswith("\n"), recorded[-300:])
            # Every frame the demo made until the signal, none lost: they are numbered from 0 and
            # each has a finger. How many depends on the machine and how soon the signal comes:
            # 6 to 20 over 30 runs here (QUORVEL_E2E_MEASURES); two plucks need at least one.
            frames = [json.loads(line) for line in recorded.splitlines()]
            ids = [frame["id"] for frame in frames if "pointables" in frame]
            self.assertEqual(ids, list(range(len(ids))), recorded[-300:])
            harness.measured("quit: demo frames before the signal", len(ids))
            self.assertGreaterEqual(len(ids), 1)

    def test_a_standard_output_nobody_reads_never_holds_up_the_window(self):
        with harness.Session(harness.artifacts_dir("quit-unread-stdout")) as session:
            unread, stdout = os.pipe()
            try:
                # Two pages: poll calls a pipe full once its last page is in use.
                fcntl.fcntl(stdout, F_SETPIPE_SZ, 8192)
                app = session.quorvel(tracking="demo", stdout=stdout)
                os.close(stdout)
                window = app.window(timeout=60.0)
                # Lines from both threads: refresh-rate lines from the keys, note lines from
                # the plucks; more than the pipe holds.
                window.keys(*["w", "s"] * 150, delay_ms=5)
                deadline = time.monotonic() + 60.0
                while unread_bytes(unread) <= 4096 and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertGreater(unread_bytes(unread), 4096)
                # More lines while the pipe is full; then q is still answered (every line a
                # writer could not hand over is counted: ConsoleWriterTest).
                window.keys(*["w", "s"] * 150, delay_ms=5)
                window.keys("q")
                status = app.wait_exit(60.0)
                written = os.read(unread, 65536).decode()
            finally:
                os.close(unread)
        self.check_clean(app, status)
        self.assertTrue(written.startswith("44100\n"), written[:200])


F_SETPIPE_SZ = 1031


def unread_bytes(descriptor):
    """Bytes waiting in a pipe."""
    count = array.array("i", [0])
    fcntl.ioctl(descriptor, termios.FIONREAD, count)
    return count[0]


if __name__ == "__main__":
    harness.main()
