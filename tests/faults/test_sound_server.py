"""The sound server dies while the instrument plays, and comes back."""

import os
import time
import unittest

import faultkit  # first: it sets up the harness's path and reports a missing numpy as a skip
import harness
import scene

# Lines on standard error that a loss may cost: the driver's own line, and the library's and the
# driver's when the stream opens again (the library's blank spacing lines aside).
FEW_LINES = 5
REOPEN_INTERVAL = 2.0  # seconds between the driver's attempts to reopen a lost stream


def stderr_since(app, count):
    return [line for line in app.lines("err")[count:] if line.strip()]


class SoundServerRestartTest(unittest.TestCase):
    def test_loss_is_said_once_keys_are_answered_and_sound_returns_with_the_server(self):
        with harness.Session(harness.artifacts_dir("faults-sound-restart")) as session:
            sound = session.sound()
            path = os.path.join(session.tempdir("perf"), "pluck.jsonl")
            # String 0 plucked every 1.5 s, round after round.
            faultkit.plucking([0], 1, 1.5, path)
            app = session.quorvel(tracking=f"replay:{path},loop")
            window = app.window()
            app.wait_for_line(r"^note: 32 ", timeout=30.0)

            playing = faultkit.cpu_rate(app.pid, 2.0)
            errors_at_kill = app.line_count("err")
            sound.kill()
            killed = time.monotonic()
            notes_at_kill = len(app.notes())
            app.wait_for_line(r"^audio stream lost", which="err", timeout=5.0)
            lost = faultkit.cpu_rate(app.pid, 2.0)
            lost_lines = stderr_since(app, errors_at_kill)
            print(f"sound server killed: {len(lost_lines)} lines on standard error in "
                  f"{time.monotonic() - killed:.1f} s: {lost_lines}; {playing:.2f} cores busy "
                  f"while playing, {lost:.2f} without sound", flush=True)
            self.assertLessEqual(len(lost_lines), FEW_LINES, lost_lines)
            # A thread spinning on the lost stream would take most of a core.
            self.assertLess(lost, playing + 0.25, "a thread spins on the lost stream")

            # The window answers at once and tracking goes on plucking.
            typed = time.monotonic()
            window.keys("w")
            when, _ = app.wait_for_line(r"^refresh rate: 61$", timeout=5.0)
            print(f"key answered {when - typed:.3f} s after typing, without sound", flush=True)
            self.assertLess(when - typed, 1.0)
            app.wait_for_line(r"^note: 32 ", count=notes_at_kill + 2, timeout=10.0)
            # No waveform comes without sound: the string stands still in the picture, at rest.
            self.assertEqual(len(scene.string_lines(window.settled_screenshot())), 1)

            restarted = time.monotonic()
            sound.restart()
            # The library says from the new stream's thread, in pieces, that it runs in real
            # time: that may stand on the same line.
            when, _ = app.wait_for_line(r"audio stream reopened", which="err",
                                        timeout=REOPEN_INTERVAL + 5.0)
            print(f"stream reopened {when - restarted:.2f} s after the server was started again",
                  flush=True)
            recording = sound.record()
            time.sleep(4.0)
            samples = recording.stop()
            peak, onsets, pitch = faultkit.plucked_note_32(self, samples,
                                                             "after the server came back")
            print(f"after the restart: peak {peak:.4f}, onsets {[round(t, 2) for t in onsets]}, "
                  f"fundamental {pitch:.2f} Hz", flush=True)
            self.assertEqual(sum(1 for line in stderr_since(app, errors_at_kill)
                                 if line.startswith("audio stream lost")), 1)
            self.assertLessEqual(len(stderr_since(app, errors_at_kill)), FEW_LINES,
                                 stderr_since(app, errors_at_kill))

            # Quitting right as the server dies again, while the stream is failing.
            sound.kill()
            time.sleep(0.1)
            status, seconds = faultkit.quit_time(app, window)
            print(f"q answered: status {status} {seconds:.3f} s after the key", flush=True)
        self.assertEqual(status, 0, app.text("err")[-3000:])
        self.assertLess(seconds, 1.0)


if __name__ == "__main__":
    harness.main()
