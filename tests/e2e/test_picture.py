"""The picture: strings where and in the colour they should be, fingertips, the banner."""

import os
import unittest

import harness  # first: it reports a missing numpy as a skip
import performances
import scene


def check_strings(test, image, count, scale_notes):
    """`count` strings at (i + 0.5)/count of the width, pink every `scale_notes`, grey between."""
    lines = scene.string_lines(image)
    test.assertEqual(len(lines), count, [round(line.x, 1) for line in lines])
    for index, line in enumerate(lines):
        expected = scene.expected_string_x(index, count, image.width)
        test.assertLess(abs(line.x - expected), 2.0, (index, line.x, expected))
        if index % scale_notes == 0:
            test.assertTrue(line.pink, (index, line.colour))
        else:
            test.assertTrue(line.grey, (index, line.colour))


class StringsTest(unittest.TestCase):
    def test_strings_stand_evenly_and_the_first_note_of_each_octave_is_pink(self):
        with harness.Session(harness.artifacts_dir("picture-strings")) as session:
            app = session.quorvel(tracking="none")
            window = app.window()
            shots = {1: window.settled_screenshot(1.0)}
            window.keys(*["a"] * 9)
            shots[10] = window.settled_screenshot()
            window.keys(*["a"] * 20)
            shots[30] = window.settled_screenshot()
            for count, image in shots.items():
                image.save_png(os.path.join(session.root, f"strings-{count}.png"))
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0)
            for count, image in shots.items():
                with self.subTest(strings=count):
                    self.assertEqual((image.width, image.height), (800, 600))
                    check_strings(self, image, count, 5)


class FingertipTest(unittest.TestCase):
    def test_touching_fingertip_is_a_red_sphere_of_20_pixels(self):
        performance = performances.Performance()
        # Finger 1 beyond the plane at a quarter of the width, half height (no string there to
        # pluck on a one-string harp); finger 2 in front of the plane at three quarters.
        performance.place(1, 0.25, 0.5, -20.0)
        performance.place(2, 0.75, 0.5, 100.0)
        performance.hold(10.0)
        with harness.Session(harness.artifacts_dir("picture-fingertip")) as session:
            path = os.path.join(session.tempdir("perf"), "touch.jsonl")
            performance.write(path)
            app = session.quorvel(tracking="replay:" + path)
            window = app.window()
            app.wait_for_line(r"^inserted finger: 2$")
            image = window.settled_screenshot()
            image.save_png(os.path.join(session.root, "fingertips.png"))
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0)
            touching = scene.red_sphere(image, (0, 0, 400, 600))
            self.assertIsNotNone(touching, "no red fingertip")
            x, y = touching.centre
            self.assertLess(abs(x - 200), 2.0, touching)
            self.assertLess(abs(y - 300), 2.0, touching)
            self.assertLess(abs(touching.radius - 20), 1.5, touching)
            # In front of the plane a fingertip is drawn but not red.
            self.assertIsNone(scene.red_sphere(image, (400, 0, 800, 600)))
            front = image.pixels[280:320, 580:620].max()
            self.assertGreater(int(front), scene.LIT)
            self.assertNotIn("trig", app.lines())


class BannerTest(unittest.TestCase):
    def test_banner_starts_300_pixels_from_the_left_and_h_hides_it(self):
        with harness.Session(harness.artifacts_dir("picture-banner")) as session:
            app = session.quorvel(tracking="none")
            window = app.window()
            shown = window.settled_screenshot(1.0)
            window.keys("h")
            hidden = window.settled_screenshot()
            window.keys("h")
            again = window.settled_screenshot()
            shown.save_png(os.path.join(session.root, "banner.png"))
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0)
        text = scene.banner(shown)
        self.assertIsNotNone(text, "no magenta banner")
        # Stroke glyphs start a pixel or two right of their origin.
        self.assertGreaterEqual(text.left, 299)
        self.assertLessEqual(text.left, 304)
        # Baseline 20 pixels below the top edge: the letters stand above it.
        self.assertLessEqual(text.bottom, 600 - 580 + 6)
        self.assertIsNone(scene.banner(hidden))
        self.assertEqual(len(scene.string_lines(hidden)), 1)
        self.assertIsNotNone(scene.banner(again))


if __name__ == "__main__":
    harness.main()
