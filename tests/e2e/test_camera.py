"""The camera source through the whole program: a video of a real hand plucks the one string of
a fresh harp and shows in the window under its fingertips, a missing camera, unusable models or an unreadable video each give one line and
leave the instrument playable, and no stream holds up quitting. Videos: $QUORVEL_CAMERA_VIDEOS
(tests/tracking/camera/makevideos.py)."""

import os
import signal
import socket
import threading
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import cv2  # the camera tests' videos are made with it
import numpy as np
import xclient

VIDEOS = os.environ.get("QUORVEL_CAMERA_VIDEOS", ".")
MODELS = os.environ.get("QUORVEL_MODEL_DIR") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "quorvel", "models")


def answers_keys(test, app):
    window = app.window()
    window.keys("w")
    app.wait_for_line(r"^refresh rate: 61$")
    window.keys("q")
    test.assertEqual(app.wait_exit(20.0), 0, app.text("err")[-3000:])


class CameraTest(unittest.TestCase):
    def plucks(self, video):
        """The plucks while a whole video plays; each video calibrates first (held still)."""
        with harness.Session(harness.artifacts_dir("camera-" + video)) as session:
            app = session.quorvel(tracking="video:" + os.path.join(VIDEOS, video + ".avi"))
            app.window()
            app.wait_for_line(r"^Connected$", timeout=60.0)
            app.wait_for_line(r"^Disconnected$", timeout=60.0)
            return app.lines().count("trig")

    def test_the_hand_shows_under_its_fingertips_and_the_calibration_is_told(self):
        """The hand held still: every fingertip sphere (found with the picture hidden) has the hand
        of the picture just below it, where the picture differs from the last one, the hand swept
        away; the sentences of the calibration come on standard output in order."""
        artifacts = harness.artifacts_dir("camera-picture")
        with harness.Session(artifacts) as session:
            app = session.quorvel(tracking="video:" + os.path.join(VIDEOS, "pluck-in.avi"))
            window = app.window()
            app.wait_for_line(r"^camera: strings set, lean in to play$", timeout=60.0)
            # Software rendering on a busy machine can draw the first picture a second late.
            still, deadline = window.screenshot(), time.monotonic() + 10.0
            while still.pixels[still.height // 8:].mean() < 20 and time.monotonic() < deadline:
                still = window.screenshot()
            window.keys("v")
            spheres = window.settled_screenshot(0.2)
            window.keys("v")
            app.wait_for_line(r"^Disconnected$", timeout=60.0)
            gone = window.settled_screenshot()
            told = [line for line in app.lines() if line.startswith("camera: ")]
        os.makedirs(artifacts, exist_ok=True)
        for name, image in (("still", still), ("spheres", spheres), ("gone", gone)):
            image.save_png(os.path.join(artifacts, name + ".png"))
        said = [next((i for i, line in enumerate(told) if line.startswith(start)), None)
                for start in ("camera: show a hand", "camera: hold still", "camera: strings set")]
        self.assertNotIn(None, said, told)
        self.assertEqual(said, sorted(said), told)

        height, width = still.height, still.width
        drawn = spheres.pixels.max(axis=2) > 10
        drawn[: height // 8] = False  # the banner
        drawn[:, width // 2 - 12: width // 2 + 12] = False  # the one string
        # Where the picture changed, but for the landmarks drawn over it (cyan: red low).
        pixels = still.pixels.astype(int)
        hand = (np.abs(pixels - gone.pixels.astype(int)).sum(axis=2) > 12) & \
            (pixels[:, :, 0] * 2 > pixels[:, :, 2])
        radius = 0.025 * width
        # Sphere centres: the discs drawn on black, one each (two that overlap are left out).
        count, _, stats, middles = cv2.connectedComponentsWithStats(drawn.astype(np.uint8))
        disc = np.pi * radius ** 2
        centres = [(middles[k][1], middles[k][0]) for k in range(1, count)
                   if 0.6 * disc < stats[k, cv2.CC_STAT_AREA] < 1.4 * disc]
        self.assertGreaterEqual(len(centres), 3, "fingertips drawn: %d" % (count - 1))
        # The finger goes on below its tip's sphere, and nothing of the hand is above it (clear
        # of the ring that marks a plucking tip).
        for y, x in centres:
            band = slice(int(x - 0.3 * radius), int(x + 0.3 * radius) + 1)
            below = hand[int(y + 1.5 * radius): int(y + 2.2 * radius), band]
            above = hand[int(y - 2.2 * radius): int(y - 1.5 * radius), band]
            self.assertGreater(below.mean(), 0.5, f"no hand below the fingertip at {x}, {y}")
            self.assertLess(above.mean(), 0.5, f"hand above the fingertip at {x}, {y}")

    def test_sweeping_past_the_plane_plucks_and_drawn_back_does_not(self):
        self.assertGreater(self.plucks("pluck-in"), 0, "the sweep past the plane plucked nothing")
        self.assertEqual(self.plucks("pluck-back"), 0, "the sweep drawn back plucked")

    def test_no_camera_unusable_models_and_unreadable_videos_leave_it_playable(self):
        with harness.Session(harness.artifacts_dir("camera-faults")) as session:
            # Damaged models for each runtime; ONNX Runtime's beside the real library.
            bad_models = session.tempdir("models")
            bad_runtime = os.path.join(session.tempdir("models-onnxruntime"), "onnxruntime")
            os.mkdir(bad_runtime)
            os.symlink(os.path.join(MODELS, "onnxruntime", "libonnxruntime.so.1"),
                       os.path.join(bad_runtime, "libonnxruntime.so.1"))
            for folder in (bad_models, bad_runtime):
                for name in ("palm_detection_lite.onnx", "hand_landmark_lite.onnx"):
                    with open(os.path.join(folder, name), "wb") as model:
                        model.write(b"\x08\x07not a model" * 100)
            not_a_video = os.path.join(bad_models, "clip.avi")
            with open(not_a_video, "w") as text:
                text.write("hello\n")
            cases = [
                ("camera:/dev/quorvel-no-camera", {},
                 r"^camera /dev/quorvel-no-camera: cannot open this camera\. Tracking is off\.$"),
                ("video:" + os.path.join(VIDEOS, "pluck-in.avi"), {"QUORVEL_MODEL_DIR": bad_models},
                 r"^video .*: hand models not usable \(cannot read .*palm_detection_lite.onnx\); "
                 r"run scripts/models\.sh to set them up\. Tracking is off\.$"),
                ("video:" + os.path.join(VIDEOS, "pluck-in.avi"),
                 {"QUORVEL_MODEL_DIR": os.path.dirname(bad_runtime)},
                 r"^video .*: hand models not usable \(.*onnxruntime/palm_detection_lite.onnx "
                 r"failed:.+\); run scripts/models\.sh"),  # in ONNX Runtime's own words
                ("video:/nonexistent/clip.avi", {},
                 r"^video /nonexistent/clip.avi: cannot open: No such file or directory$"),
                ("video:" + not_a_video, {},
                 r"^video .*clip.avi: cannot read: not a video that can be decoded$"),
            ]
            for tracking, env, line in cases:
                with self.subTest(tracking=tracking):
                    app = session.quorvel(tracking=tracking, extra_env=env)
                    app.wait_for_line(line, which="err", timeout=60.0)
                    answers_keys(self, app)
                    related = [text for text in app.lines("err")
                               if "camera" in text or "video" in text or "model" in text]
                    self.assertEqual(len(related), 1, related)
                    self.assertNotIn("Connected", app.lines())

    def test_quitting_takes_a_second_whatever_a_stream_does(self):
        """Pipes with no writer yet, with a writer that stalls, with a stream that has ended, and
        an address that takes the connection and never answers: q, Ctrl-C and closing the
        window each end the program within a second."""
        with harness.Session(harness.artifacts_dir("camera-stalled")) as session:
            folder = session.tempdir("streams")
            listener = socket.create_server(("127.0.0.1", 0))
            pipes = {}
            for name in ("unwritten", "stalled", "ended"):
                pipes[name] = os.path.join(folder, name)
                os.mkfifo(pipes[name])
            # A writer that sent a little and says no more; one that sends a video and goes.
            stalled = os.open(pipes["stalled"], os.O_RDWR)
            with open(os.path.join(VIDEOS, "follow.avi"), "rb") as video:
                whole = video.read()
            os.write(stalled, whole[:4096])

            def send_and_end():
                with open(pipes["ended"], "wb") as writer:
                    writer.write(whole)
            threading.Thread(target=send_and_end, daemon=True).start()
            cases = [(pipes["unwritten"], "q"), (pipes["stalled"], "SIGINT"),
                     (pipes["ended"], "close"),
                     ("http://127.0.0.1:%d/camera.mjpg" % listener.getsockname()[1], "q")]
            for device, way in cases:
                with self.subTest(device=device, way=way):
                    app = session.quorvel(tracking="camera:" + device)
                    window = app.window(timeout=60.0)
                    if device == pipes["ended"]:
                        app.wait_for_line(r"^Disconnected$", timeout=60.0)
                    time.sleep(3.0)  # the models are loaded and the stream is being opened
                    began = time.monotonic()
                    if way == "q":
                        window.keys("q")
                    elif way == "SIGINT":
                        app.signal(signal.SIGINT)
                    else:
                        xclient.request_close(session.display().name, window.id)
                    status = app.wait_exit(10.0)
                    self.assertLess(time.monotonic() - began, 1.5, app.text("err")[-3000:])
                    self.assertEqual(status, -signal.SIGINT if way == "SIGINT" else 0)
            os.close(stalled)
            listener.close()


if __name__ == "__main__":
    harness.main()
