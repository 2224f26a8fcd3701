"""quorvel-render: a recorded performance to a WAV file, by the harp itself, with no window and
no sound device."""

import filecmp
import json
import os
import shutil
import signal
import subprocess
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import analysis
import performances
import render

GAIN = 1.0 / 12.0


class GlissandoRenderTest(unittest.TestCase):
    def test_every_note_in_order_at_its_pitch_and_two_renders_alike(self):
        source = harness.example("glissando.jsonl")
        with harness.Session() as session:
            out = session.tempdir("render")
            first, again = os.path.join(out, "first.wav"), os.path.join(out, "again.wav")
            done = render.run(source, first)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(render.run(source, again).returncode, 0)
            self.assertTrue(filecmp.cmp(first, again, shallow=False), "two renders differ")
            samples, rate, kind = render.read_wav(first)
            self.assertEqual((rate, kind, samples.shape[1]), (44100, "pcm16", 2))
            with open(first, "rb") as wav:  # RF64 made plain WAV: room kept for RF64's sizes
                self.assertEqual(wav.read(16)[12:], b"JUNK", "not written as RF64")
            self.assertTrue((samples[:, 0] == samples[:, 1]).all(), "the channels differ")

            # The file sets up 10 strings: up, down, then both ways at once (in pairs).
            notes = render.notes(done.stdout)
            self.assertEqual(notes[:20], performances.GLISSANDO_NOTES_10)
            self.assertEqual(sorted(notes[20:]), sorted(performances.GLISSANDO_NOTES_10))
            self.assertEqual(done.stdout.count("trig\n"), len(notes))

            # Each pluck's own sound: the render of everything up to the next pluck minus the
            # render of everything before this one (a render is exact, the strings are summed).
            floats, _, _ = render.read_wav(self.render_cut(out, source, None))
            onsets = analysis.find_onsets(floats[:, 0], min_gap=0.1)
            self.assertEqual(len(onsets), 30, [round(onset, 3) for onset in onsets])
            # One render per cut: a pluck's "up to the next" is the next pluck's "before".
            upto = render.read_wav(self.render_cut(out, source, onsets[0]))[0][:, 0]
            for k, note in enumerate(performances.GLISSANDO_NOTES_10):
                before = upto
                upto = render.read_wav(self.render_cut(out, source, onsets[k + 1]))[0][:, 0]
                length = min(len(before), len(upto))
                pitch = analysis.pitch_after(upto[:length] - before[:length], onsets[k],
                                             window=0.5)
                expected = analysis.note_frequency(note)
                self.assertIsNotNone(pitch, (k, note))
                self.assertLess(analysis.relative_error(pitch, expected), 0.01,
                                f"pluck {k}, note {note}: {pitch:.2f} Hz, not {expected:.2f} Hz")

    @staticmethod
    def render_cut(directory, source, onset):
        """Renders (32-bit float) the lines of `source` before a moment a little ahead of
        `onset` seconds (an onset is found within a few ms of its pluck), or all of them."""
        with open(source) as whole:
            lines = whole.read().splitlines()
        if onset is not None:
            lines = [line for line in lines
                     if json.loads(line).get("timestamp", 0) < (onset - 0.006) * 1e6]
        name = os.path.join(directory, f"cut-{onset}")
        with open(name + ".jsonl", "w") as cut:
            cut.write("\n".join(lines) + "\n")
        done = render.run(name + ".jsonl", name + ".wav", "--float", "--tail", "1")
        assert done.returncode == 0, done.stderr
        return name + ".wav"

    def test_one_string_peaks_within_a_twelfth_and_the_options_apply(self):
        # The glissando on one string in the diatonic scale, at 22050 Hz: every pluck is note 32.
        with harness.Session() as session:
            out = os.path.join(session.tempdir("render"), "one.wav")
            done = render.run(harness.example("glissando.jsonl"), out, "--strings", "1",
                              "--scale", "diatonic", "--rate", "22050", "--tail", "2", "--float")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(set(render.notes(done.stdout)), {32})
            samples, rate, kind = render.read_wav(out)
            self.assertEqual((rate, kind), (22050, "float32"))
            peak = abs(samples).max()
            self.assertLessEqual(peak, GAIN * (1 + 1e-6))
            self.assertGreater(peak, GAIN / 4, "hardly any sound")
            # Up to the last frame (no pause in the file is long enough to be shortened), then
            # the tail.
            with open(harness.example("glissando.jsonl")) as source:
                last = json.loads(source.read().splitlines()[-1])["timestamp"] / 1e6
            self.assertAlmostEqual(len(samples) / rate, last + 2.0, delta=0.01)


class RenderFailureTest(unittest.TestCase):
    def test_unreadable_input_bad_lines_and_unwritable_output(self):
        with harness.Session() as session:
            out = session.tempdir("render")
            wav = os.path.join(out, "out.wav")

            done = render.run(os.path.join(out, "missing.jsonl"), wav)
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("missing.jsonl", done.stderr)
            self.assertEqual(os.listdir(out), [], "something was written")

            # A broken line in the middle is reported with its number; the rest plays.
            with open(harness.example("amazing-grace.jsonl")) as source:
                lines = source.read().splitlines()
            lines.insert(199, '{"id": 7, "timestamp": ')
            broken = os.path.join(out, "broken.jsonl")
            with open(broken, "w") as target:
                target.write("\n".join(lines) + "\n")
            done = render.run(broken, wav)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertRegex(done.stderr, r"broken\.jsonl:200: not valid JSON")
            self.assertEqual(render.notes(done.stdout), performances.AMAZING_GRACE_NOTES)
            self.assertTrue(os.path.isfile(wav))

            # A sound file is no performance.
            done = render.run(wav, os.path.join(out, "none.wav"))
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("no tracking frames", done.stderr)

            for unwritable in (os.path.join(broken, "x.wav"), os.path.join(out, "no", "x.wav"),
                               session.tempdir("a-directory")):
                done = render.run(broken, unwritable)
                self.assertNotEqual(done.returncode, 0, unwritable)
                self.assertIn("cannot write " + unwritable, done.stderr)
            self.assertEqual(sorted(os.listdir(out)), ["broken.jsonl", "out.wav"],
                             "a partial file was left behind")

    def test_no_performance_is_overwritten_and_an_interrupted_render_leaves_nothing(self):
        with harness.Session() as session:
            out = session.tempdir("render")
            take, other = os.path.join(out, "take.jsonl"), os.path.join(out, "other.jsonl")
            shutil.copy(harness.example("glissando.jsonl"), take)
            shutil.copy(harness.example("ode-to-joy.jsonl"), other)
            os.symlink(take, os.path.join(out, "soft.jsonl"))
            os.link(take, os.path.join(out, "hard.jsonl"))
            for target in (take, os.path.join(out, "..", os.path.basename(out), "take.jsonl"),
                           os.path.join(out, "soft.jsonl"), os.path.join(out, "hard.jsonl"),
                           other):
                done = render.run(take, target)
                self.assertEqual((done.returncode, len(done.stderr.splitlines())), (2, 1),
                                 done.stderr)
                self.assertIn(target, done.stderr)
            self.assertTrue(filecmp.cmp(take, harness.example("glissando.jsonl"), shallow=False))
            self.assertTrue(filecmp.cmp(other, harness.example("ode-to-joy.jsonl"), shallow=False))

            # Ten minutes of tail at the top rate: stopped half-way, nothing of it stays.
            binary = os.environ["QUORVEL_RENDER"]
            render_process = subprocess.Popen(
                [binary, "--tail", "600", "--rate", "192000", "--float", take,
                 os.path.join(out, "long.wav")], stdout=subprocess.DEVNULL)
            deadline = time.monotonic() + 30.0
            while not any(name.startswith("long.wav.") for name in os.listdir(out)):
                self.assertLess(time.monotonic(), deadline, "no render under way")
                time.sleep(0.05)
            time.sleep(0.5)
            render_process.send_signal(signal.SIGINT)
            self.assertEqual(render_process.wait(timeout=30.0), -signal.SIGINT)
            self.assertEqual(sorted(os.listdir(out)),
                             ["hard.jsonl", "other.jsonl", "soft.jsonl", "take.jsonl"])

    def test_odd_takes_and_devices_are_kept_silence_is_bounded_a_pipe_is_interruptible(self):
        with harness.Session() as session:
            out = session.tempdir("render")
            take, pipe, link = (os.path.join(out, name) for name in ("take.jsonl", "pipe", "x.wav"))
            grace = harness.example("amazing-grace.jsonl")
            with open(grace) as source:
                frame = source.read().splitlines()[1]
            with open(take, "w") as odd:  # replay skips the first line and plays the rest
                odd.write("x" * (300 * 1024) + "\n" + frame + "\n")
            os.mkfifo(pipe)
            os.symlink(pipe, link)  # no device: a faulty render as root would replace it
            for target in (take, link):
                self.assertEqual(render.run(grace, target).returncode, 2, target)
            self.assertEqual((os.path.getsize(take), os.readlink(link)),
                             (300 * 1024 + len(frame) + 2, pipe))
            # A frame, 200 timed lines 5 s apart, a frame: a minute of pauses, the rest cut out.
            stamps = [json.dumps({"timestamp": k * 5000000}) for k in range(1, 201)]
            with open(take, "w") as sparse:
                last = frame.replace('"timestamp":0', '"timestamp":1005000000')
                sparse.write("\n".join([frame, *stamps, last]))
            wav = os.path.join(out, "sparse.wav")
            self.assertIn("--pauses", render.run(take, wav, "--tail", "0", "--rate", "8000").stderr)
            self.assertAlmostEqual(len(render.read_wav(wav)[0]) / 8000, 60.25, delta=0.01)
            # A named pipe with no writer, then with one that writes nothing: a signal ends it.
            for quit_signal, writes in ((signal.SIGTERM, False), (signal.SIGINT, True)):
                process = subprocess.Popen([os.environ["QUORVEL_RENDER"], pipe, pipe + ".wav"])
                held = writes and open(pipe, "w")
                time.sleep(1.0)
                process.send_signal(quit_signal)
                try:
                    self.assertEqual(process.wait(timeout=10.0), -quit_signal)
                finally:
                    process.kill()  # a render that ignored the signal
            self.assertEqual(sorted(os.listdir(out)),
                             ["pipe", "sparse.wav", "take.jsonl", "x.wav"])

if __name__ == "__main__":
    harness.main()
