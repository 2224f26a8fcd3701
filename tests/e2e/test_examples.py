"""The recorded performances shipped in examples/ play the tunes they are named after."""

import os
import unittest

import harness  # first: it reports a missing numpy as a skip
import performances


class ExamplesTest(unittest.TestCase):
    def play(self, name):
        """Plays an example as it is, no key pressed: it sets the harp up itself; the notes."""
        with harness.Session(harness.artifacts_dir("examples-" + name)) as session:
            app = session.quorvel(tracking="replay:" + harness.example(name))
            window = app.window()
            app.wait_for_line(r"^Disconnected$", timeout=60.0)
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))
        return app.notes()

    def test_the_shipped_files_are_the_generated_ones(self):
        with harness.Session() as session:
            directory = session.tempdir("examples")
            performances.write_examples(directory)
            for name in sorted(os.listdir(directory)):
                with open(os.path.join(directory, name)) as fresh, \
                        open(harness.example(name)) as shipped:
                    self.assertEqual(fresh.read(), shipped.read(), name)

    def test_ode_to_joy_in_the_diatonic_scale(self):
        self.assertEqual(self.play("ode-to-joy.jsonl"),
                         performances.ODE_TO_JOY_NOTES)

    def test_glissando_up_down_and_both_ways_at_once(self):
        notes = self.play("glissando.jsonl")
        self.assertEqual(notes[:20], performances.GLISSANDO_NOTES_10)
        self.assertEqual(sorted(notes[20:]), sorted(performances.GLISSANDO_NOTES_10))


if __name__ == "__main__":
    harness.main()
