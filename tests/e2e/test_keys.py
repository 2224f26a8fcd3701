"""Keys typed into the real window, and what they do to the picture and the output."""

import contextlib
import os
import time
import unittest

import harness  # first: it reports a missing numpy as a skip
import scene


def pink_strings(image):
    return [index for index, line in enumerate(scene.string_lines(image)) if line.pink]


class KeysTest(unittest.TestCase):
    @contextlib.contextmanager
    def instrument(self):
        """The instrument with no tracking device, its window shown; quit with "q" at the end."""
        with harness.Session(harness.artifacts_dir("keys-" + self._testMethodName)) as session:
            self.session = session
            self.app = session.quorvel(tracking="none")
            self.window = self.app.window()
            self.window.settled_screenshot(0.5)
            yield
            self.window.keys("q")
            self.assertEqual(self.app.wait_exit(), 0, self.app.text("err"))
            # Without a device the listener only initializes.
            self.assertIn("Initialized", self.app.lines())
            self.assertNotIn("Connected", self.app.lines())

    def shot(self, name):
        image = self.window.settled_screenshot()
        image.save_png(os.path.join(self.session.root, name + ".png"))
        return image

    def test_pointer_plays_a_drag_with_the_left_button_held(self):
        """QUORVEL_TRACKING=pointer: a drag across the three strings plucks each once; moving back
        with the button up plucks none."""
        with harness.Session(harness.artifacts_dir("keys-pointer")) as session:
            app = session.quorvel(tracking="pointer")
            window = app.window()
            window.settled_screenshot(0.5)
            window.keys("a", "a")  # strings at 1/6, 3/6 and 5/6 of the width
            left, top, width, height = window.geometry()

            def sweep(start, end):
                for step in range(21):
                    x = left + int(width * (start + (end - start) * step / 20))
                    window.display.run("xdotool", "mousemove", str(x), str(top + height // 2))
                    time.sleep(0.03)

            sweep(0.02, 0.02)
            window.display.run("xdotool", "mousedown", "1")
            sweep(0.02, 0.98)
            window.display.run("xdotool", "mouseup", "1")
            app.wait_for_line(r"^trig$", count=3)
            sweep(0.98, 0.02)
            time.sleep(0.5)
            self.assertEqual(app.lines().count("trig"), 3, app.text("out"))
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))

    def test_a_adds_strings_and_z_never_goes_below_one(self):
        with self.instrument():
            self.window.keys(*["a"] * 9)
            self.assertEqual(len(scene.string_lines(self.shot("ten"))), 10)
            self.window.keys(*["z"] * 12)
            lines = scene.string_lines(self.shot("one"))
            self.assertEqual(len(lines), 1)
            self.assertLess(abs(lines[0].x - 400), 2.0)
            self.window.keys("a")
            self.assertEqual(len(scene.string_lines(self.shot("two"))), 2)

    def test_scale_keys_change_which_strings_are_pink(self):
        with self.instrument():
            self.window.keys(*["a"] * 14)  # 15 strings
            self.assertEqual(pink_strings(self.shot("major")), [0, 5, 10])
            self.window.keys("3")
            self.assertEqual(pink_strings(self.shot("diatonic")), [0, 7, 14])
            self.window.keys("4")
            self.assertEqual(pink_strings(self.shot("whole-tone")), [0, 6, 12])
            self.window.keys("2")
            self.assertEqual(pink_strings(self.shot("minor")), [0, 5, 10])

    def test_refresh_rate_keys(self):
        with self.instrument():
            self.window.keys("w")
            self.app.wait_for_line(r"^refresh rate: 61$")
            self.window.keys(*["s"] * 60)  # 61 -> 1
            self.app.wait_for_line(r"^refresh rate: 1$")
            self.window.keys("s")
            self.app.wait_for_line(r"^refresh rate: 1$", count=2)
            rates = [line for line in self.app.lines() if line.startswith("refresh rate: ")]
            expected = ["refresh rate: 61"] + [f"refresh rate: {rate}" for rate in range(60, 0, -1)]
            self.assertEqual(rates, expected + ["refresh rate: 1"])
            # At one frame a second the window still draws, and still answers keys.
            self.assertEqual(len(scene.string_lines(self.window.settled_screenshot(1.5))), 1)

    def test_f_goes_full_screen_and_back(self):
        # With no window manager (Xvfb) freeglut makes the window as large as the screen itself,
        # and places it partly off the screen: the picture is checked in window coordinates.
        with self.instrument():
            display = self.session.display()
            self.window.keys("f")
            size = self.window.wait_for_size(display.width, display.height)
            self.assertEqual(size, (display.width, display.height))
            full = self.shot("full")
            lines = scene.string_lines(full)
            self.assertEqual(len(lines), 1)
            self.assertLess(abs(lines[0].x + full.origin[0] - display.width / 2), 2.0)
            self.window.keys("f")
            self.assertEqual(self.window.wait_for_size(800, 600), (800, 600))
            back = self.shot("back")
            lines = scene.string_lines(back)
            self.assertEqual(len(lines), 1)
            self.assertLess(abs(lines[0].x + back.origin[0] - 400), 2.0)

    def test_upper_case_letters_and_other_digits_change_nothing(self):
        with self.instrument():
            self.window.keys(*["a"] * 9)
            before = self.shot("before")
            self.window.keys("A", "F", "H", "Q", "S", "W", "Z", "0", "5", "6", "7", "8", "9")
            after = self.shot("after")
            self.assertTrue(self.app.alive())
            self.assertEqual(self.window.geometry()[2:], (800, 600))
            self.assertEqual(len(scene.string_lines(after)), 10)
            self.assertEqual(pink_strings(after), pink_strings(before))
            self.assertIsNotNone(scene.banner(after))
            self.assertFalse([line for line in self.app.lines() if line.startswith("refresh rate")])


if __name__ == "__main__":
    harness.main()
