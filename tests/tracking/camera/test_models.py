"""scripts/models.sh against damaged downloads and a second set-up beside it, with an npm that
serves the cached package whole or damaged, as it is told, and no ONNX Runtime."""

import os
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "..", "scripts", "models.sh")
MODELS = os.environ.get("QUORVEL_MODEL_DIR") or os.path.join(
    os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "quorvel", "models")
PACKAGE = "mediapipe-hands-0.4.1675469240.tgz"
# Each pack of the hand models takes the next word of $SERVES (good or bad) and logs it.
FAKE_NPM = f"""#!/bin/sh
echo "$3" >>"$LOG.asked"
case "$3" in @mediapipe/hands@*) ;; *) exit 1 ;; esac
set -- $SERVES
shift "$(wc -l <"$LOG")"
echo "$1" >>"$LOG"
cp "$REAL" {PACKAGE}
[ "$1" = good ] || echo damage >>{PACKAGE}
"""


def set_ups(work, serves, count=1, damaged_cache=False, args=(), models=None):
    """Runs `count` set-ups at once on one cache: their (status, output), the packs, the cache."""
    cache, npm, log = (os.path.join(work, name) for name in ("cache", "npm", "packs"))
    os.makedirs(npm)
    with open(os.path.join(npm, "npm"), "w") as script:
        script.write(FAKE_NPM)
    os.chmod(os.path.join(npm, "npm"), 0o755)
    open(log, "w").close()
    if damaged_cache:
        os.makedirs(cache)
        with open(os.path.join(cache, PACKAGE), "wb") as damaged:
            damaged.write(b"half a download")
    if models:  # the models made before (read only), on a machine with an ONNX Runtime
        shutil.copytree(MODELS, cache, ignore=shutil.ignore_patterns(".*", "*.tgz"))
        if models == "damaged":
            with open(os.path.join(cache, "palm_detection_lite.onnx"), "ab") as model:
                model.write(b"damage")
        else:
            shutil.rmtree(os.path.join(cache, "onnxruntime"))
        with open(os.path.join(npm, "pkg-config"), "w") as script:
            script.write("#!/bin/sh\n")
        os.chmod(os.path.join(npm, "pkg-config"), 0o755)
    env = dict(os.environ, PATH=npm + ":" + os.environ["PATH"], QUORVEL_MODEL_DIR=cache, LOG=log,
               SERVES=serves, REAL=os.path.join(MODELS, PACKAGE))
    runs = [subprocess.Popen(["bash", SCRIPT, *args], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True) for _ in range(count)]
    outputs = [run.communicate(timeout=600)[0] for run in runs]
    results = [(run.returncode, output) for run, output in zip(runs, outputs)]
    with open(log) as packs:
        return results, packs.read().split(), cache


class ModelSetUpTest(unittest.TestCase):
    def test_a_damaged_package_is_fetched_again_once_and_never_kept(self):
        with tempfile.TemporaryDirectory() as work:
            # Damaged in the cache, then as fetched: the second fetch is used, by the first
            # set-up only; the other waits for it and finds the models made.
            results, packs, cache = set_ups(work, "bad good", count=2, damaged_cache=True)
            # Where the runtime comes from npm both fail for want of it, which this npm has not;
            # where the system has one they succeed. Either way the models are made.
            bundled = subprocess.run(["pkg-config", "--exists", "libonnxruntime"]).returncode != 0
            self.assertEqual([status for status, _ in results], [int(bundled)] * 2, results)
            self.assertEqual(packs, ["bad", "good"])
            self.assertEqual(subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"],
                                            cwd=cache).returncode, 0)
            self.assertFalse([name for name in os.listdir(cache) if name.startswith(".work")])
        with tempfile.TemporaryDirectory() as work:
            [(status, output)], _, cache = set_ups(work, "bad bad")
            self.assertEqual(status, 1, output)
            self.assertIn("wrong checksum", output)
            self.assertNotIn(PACKAGE, os.listdir(cache))

    def test_each_part_is_made_for_the_player_that_asks_and_what_works_stays(self):
        linked = subprocess.run(["pkg-config", "--exists", "libonnxruntime"]).returncode == 0
        with tempfile.TemporaryDirectory() as work:
            # A damaged model is made again; the runtime beside it, whole, is left as it was.
            [(status, output)], packs, cache = set_ups(
                work, "good", models="damaged",
                args=["--onnxruntime=" + ("system" if linked else "bundled")])
            self.assertEqual((status, packs), (0, ["good"]), output)
            self.assertEqual(subprocess.run(["diff", "-r", os.path.join(MODELS, "onnxruntime"),
                                             os.path.join(cache, "onnxruntime")]).returncode, 0)
        with tempfile.TemporaryDirectory() as work:
            # A player with its own runtime gets it on a machine that has one; a failed fetch
            # fails the set-up.
            [(status, output)], _, _ = set_ups(work, "", models="without runtime",
                                               args=["--onnxruntime=bundled"])
            self.assertEqual(status, 1, output)
            with open(os.path.join(work, "packs.asked")) as asked:
                self.assertIn("onnxruntime-node", asked.read())

if __name__ == "__main__":
    unittest.main()
