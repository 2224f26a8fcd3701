"""The model converter against the numpy reference that runs the original graph: the converted
models agree, and the check catches a conversion that is subtly wrong."""

import os
import subprocess
import sys
import tarfile
import tempfile
import unittest

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts"))
import tflite2onnx  # noqa: E402
import tflite_reader  # noqa: E402

MODELS = os.environ.get("QUORVEL_MODEL_DIR") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "quorvel", "models")


def landmark_model():
    with tarfile.open(os.path.join(MODELS, "mediapipe-hands-0.4.1675469240.tgz")) as package:
        return package.extractfile("package/hand_landmark_lite.tflite").read()


class ConverterTest(unittest.TestCase):
    def test_converted_model_agrees_and_a_wrong_one_is_refused(self):
        data = landmark_model()
        with tempfile.TemporaryDirectory() as work:
            original = os.path.join(work, "model.tflite")
            with open(original, "wb") as f:
                f.write(data)
            run = subprocess.run([sys.executable, os.path.join(HERE, "..", "..", "..", "scripts",
                                                               "tflite2onnx.py"),
                                  original, os.path.join(work, "model.onnx")],
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertTrue(os.path.getsize(os.path.join(work, "model.onnx")) > 1000000)

        model = tflite_reader.Model(data)
        # Depthwise kernels mirrored left to right: the check must refuse such a model.
        converted = tflite2onnx.Converter(model).convert()
        for initializer in converted.graph.initializer:
            if initializer.name.startswith("w_") and initializer.dims[1] == 1:
                values = np.frombuffer(initializer.raw_data, np.float32).reshape(initializer.dims)
                initializer.raw_data = np.ascontiguousarray(values[:, :, ::-1, :]).tobytes()
                break
        error = tflite2onnx.check(model, converted.SerializeToString(), inputs=2)
        self.assertGreater(error, tflite2onnx.TOLERANCE)


if __name__ == "__main__":
    unittest.main()
