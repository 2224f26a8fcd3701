"""scripts/models.sh against damaged downloads and a second set-up beside it, with an npm that
serves the cached package whole or damaged, as it is told, and no ONNX Runtime."""

import os
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "models.sh")
MODELS = os.environ.get("QUORVEL_MODEL_DIR") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "quorvel", "models")
PACKAGE = "mediapipe-hands-0.4.1675469240.tgz"

# `npm pack --silent NAME`: each pack of the hand models takes the next word of $SERVES ("good" or
# "bad") and logs it; any other package cannot be had.
FAKE_NPM = """#!/bin/sh
case "$3" in @mediapipe/hands@*) ;; *) exit 1 ;; esac
served=$(wc -l <"$LOG")
set -- $SERVES
shift "$served"
echo "$1" >>"$LOG"
cp "$REAL" {package}
[ "$1" = good ] || echo damage >>{package}
""".format(package=PACKAGE)


class ModelSetUpTest(unittest.TestCase):
    def set_ups(self, work, serves, count=1):
        """Runs `count` set-ups at once on one cache; their results and the packs they made."""
        bin_dir, cache = os.path.join(work, "bin"), os.path.join(work, "cache")
        os.makedirs(bin_dir)
        with open(os.path.join(bin_dir, "npm"), "w") as npm:
            npm.write(FAKE_NPM)
        os.chmod(os.path.join(bin_dir, "npm"), 0o755)
        log = os.path.join(work, "packs")
        open(log, "w").close()
        env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], QUORVEL_MODEL_DIR=cache,
                   LOG=log, SERVES=serves, REAL=os.path.join(MODELS, PACKAGE))
        runs = [subprocess.Popen(["bash", SCRIPT], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True) for _ in range(count)]
        outputs = [run.communicate(timeout=600)[0] for run in runs]
        results = [(run.returncode, output) for run, output in zip(runs, outputs)]
        with open(log) as packs:
            return results, packs.read().split(), cache

    def test_a_damaged_package_is_fetched_again_once_and_never_kept(self):
        with tempfile.TemporaryDirectory() as work:
            # Damaged in the cache, then damaged as fetched: the second fetch is used, by the
            # first set-up only; the other waits for it and finds the models made.
            os.makedirs(os.path.join(work, "cache"))
            with open(os.path.join(work, "cache", PACKAGE), "wb") as damaged:
                damaged.write(b"half a download")
            results, packs, cache = self.set_ups(work, "bad good", count=2)
            for status, output in results:
                self.assertEqual(status, 0, output)
            self.assertEqual(packs, ["bad", "good"])
            checked = subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=cache)
            self.assertEqual(checked.returncode, 0)
            self.assertFalse([name for name in os.listdir(cache) if name.startswith(".work")])

        with tempfile.TemporaryDirectory() as work:
            (status, output), = self.set_ups(work, "bad bad")[0]
            self.assertEqual(status, 1, output)
            self.assertIn("wrong checksum", output)
            self.assertNotIn(PACKAGE, os.listdir(os.path.join(work, "cache")))


if __name__ == "__main__":
    unittest.main()
