"""The tracking service vanishes while the instrument plays, and comes back on its port."""

import os
import time
import unittest

import faultkit  # first: it sets up the harness's path and reports a missing numpy as a skip
import harness


class TrackingServiceRestartTest(unittest.TestCase):
    def test_playing_stops_with_the_service_and_resumes_when_it_returns(self):
        with harness.Session(harness.artifacts_dir("faults-service-restart")) as session:
            sound = session.sound()
            path = os.path.join(session.tempdir("perf"), "pluck.jsonl")
            faultkit.plucking([0], 1, 1.5, path)
            port = faultkit.free_port()
            service = faultkit.start_service(session, port, path)
            service.wait_for_line(r"^listening$", timeout=20.0)
            app = session.quorvel(tracking=f"service:ws://127.0.0.1:{port}/v6.json")
            window = app.window()
            app.wait_for_line(r"^Connected$", timeout=20.0)
            app.wait_for_line(r"^note: 32 ", timeout=20.0)
            errors_before = app.line_count("err")

            gone = time.monotonic()
            faultkit.kill(service)
            when, _ = app.wait_for_line(r"^Disconnected$", timeout=5.0)
            print(f"Disconnected {when - gone:.3f} s after the service was killed", flush=True)
            # Nothing plucks any more, and the window goes on answering.
            time.sleep(0.2)
            silent_notes = len(app.notes())
            typed = time.monotonic()
            window.keys("w")
            when, _ = app.wait_for_line(r"^refresh rate: 61$", timeout=5.0)
            print(f"key answered {when - typed:.3f} s after typing, without the service",
                  flush=True)
            self.assertLess(when - typed, 1.0)
            time.sleep(3.0)  # six attempts to reconnect, 0.5 s apart
            self.assertEqual(len(app.notes()), silent_notes, "plucks without a service")

            service = faultkit.start_service(session, port, path)
            service.wait_for_line(r"^listening$", timeout=20.0)
            back = time.monotonic()
            when, _ = app.wait_for_line(r"^Connected$", count=2, timeout=5.0)
            print(f"Connected {when - back:.3f} s after the service listened again", flush=True)
            self.assertLess(when - back, 1.5, "reconnection attempts are 0.5 s apart")
            recording = sound.record()
            # Two plucks that come once the recording runs: the first after the reconnection
            # may come before it does.
            app.wait_for_line(r"^note: 32 ", count=len(app.notes()) + 2, timeout=10.0)
            time.sleep(1.0)
            samples = recording.stop()
            peak, onsets, pitch = faultkit.plucked_note_32(self, samples,
                                                             "after the service came back")
            print(f"after the service came back: peak {peak:.4f}, onsets "
                  f"{[round(t, 2) for t in onsets]}, fundamental {pitch:.2f} Hz",
                  flush=True)

            # Its going and coming are told, not each attempt to reach it.
            told = app.lines("err")[errors_before:]
            print(f"standard error while the service was away and back: {told}", flush=True)
            self.assertLessEqual(len(told), 3, told)
            self.assertFalse([line for line in app.lines() if "tracking service" in line],
                             "the tracking library's lines belong on standard error")
            status, seconds = faultkit.quit_time(app, window)
            print(f"q answered: status {status} {seconds:.3f} s after the key", flush=True)
        self.assertEqual(status, 0, app.text("err")[-3000:])
        self.assertLess(seconds, 1.0)


if __name__ == "__main__":
    harness.main()
