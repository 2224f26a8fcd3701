"""The camera source through the whole program: a video of a real hand plucks the one string of
a fresh harp, and a missing camera, unusable models or an unreadable video each give one line
and leave the instrument playable. Videos: $QUORVEL_CAMERA_VIDEOS (tests/camera/makevideos.py)."""

import os
import unittest

import harness  # first: it reports a missing numpy as a skip

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
        """The plucks while a whole video plays; each video calibrates first (still 2.5 s)."""
        with harness.Session(harness.artifacts_dir("camera-" + video)) as session:
            app = session.quorvel(tracking="video:" + os.path.join(VIDEOS, video + ".avi"))
            app.window()
            app.wait_for_line(r"^Connected$", timeout=60.0)
            app.wait_for_line(r"^Disconnected$", timeout=60.0)
            return app.lines().count("trig")

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
                 r"^video .*: hand models not usable \(cannot read "
                 r".*onnxruntime/palm_detection_lite.onnx\); run scripts/models\.sh"),
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


if __name__ == "__main__":
    harness.main()
