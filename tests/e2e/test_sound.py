"""What comes out of the speakers: the null sink's monitor, recorded while a performance plays."""

import os
import unittest

import harness  # first: it reports a missing numpy as a skip
import numpy as np

import analysis
import performances


def check_pitches(test, mono, notes, gap):
    """One onset per note, each at its note's pitch within 1 % (all but two of them, should
    underruns leave too little of a note to measure)."""
    mono, onsets, joins = analysis.plucks_heard(mono, len(notes), min_gap=gap * 0.6,
                                                with_joins=True)
    test.assertEqual(len(onsets), len(notes), [round(onset, 3) for onset in onsets])
    pitches = analysis.pitches_heard(mono, onsets, joins, window=min(0.3, gap - 0.05))
    test.assertLessEqual(pitches.count(None), 2, [round(onset, 3) for onset in onsets])
    for onset, note, pitch in zip(onsets, notes, pitches):
        expected = analysis.note_frequency(note)
        if pitch is None:
            print(f"note {note} at {onset:.3f} s: not measured, an underrun inside it", flush=True)
            continue
        print(f"note {note} at {onset:.3f} s: {pitch:.2f} Hz for {expected:.2f} Hz "
              f"({100 * (pitch - expected) / expected:+.2f} %)", flush=True)
        test.assertLess(analysis.relative_error(pitch, expected), 0.01,
                        f"note {note} at {onset:.3f} s: {pitch:.2f} Hz, not {expected:.2f} Hz")


class MelodyTest(unittest.TestCase):
    def test_a_tune_on_ten_strings_in_two_scales(self):
        # Every string once, up in steps and down again, in the start scale (pentatonic major);
        # then, after key 3, the same strings in the diatonic scale.
        strings = [0, 2, 4, 6, 8, 9, 7, 5, 3, 1]
        major = [32, 37, 41, 46, 51, 53, 49, 44, 39, 34]
        diatonic = [32, 36, 39, 43, 46, 48, 44, 41, 37, 34]
        beat = 0.5
        performance = performances.melody(strings, 10, beat, lead_in=performances.LEAD_IN_SECONDS)
        performance.pause(4.0)  # key 3 is typed here, once the first tune is over
        performances.melody(strings, 10, beat, performance=performance)
        performance.pause(2.5)
        performance.clear()
        with harness.Session(harness.artifacts_dir("sound-melody")) as session:
            path = os.path.join(session.tempdir("perf"), "melody.jsonl")
            performance.write(path)
            recording = session.record()
            app = session.quorvel(tracking="replay:" + path)
            window = app.window()
            window.keys(*["a"] * 9)
            app.wait_for_line(r"^note: ", count=len(major), timeout=40.0)
            window.keys("3")
            app.wait_for_line(r"^Disconnected$", timeout=40.0)
            samples = recording.stop()
            np.save(os.path.join(session.root, "melody.npy"), samples)
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))
            notes = app.notes()
            self.assertEqual(notes, major + diatonic,
                             "keys typed too late for the performance?" if notes[:1] != [32]
                             else "")
            self.assertTrue(np.array_equal(samples[:, 0], samples[:, 1]),
                            "the two channels differ")
            check_pitches(self, samples[:, 0], major + diatonic, beat)


if __name__ == "__main__":
    harness.main()
