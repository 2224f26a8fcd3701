#!/usr/bin/python3
"""Takes the README's pictures of the real instrument, started as the whole-program tests start it
(tests/e2e/harness.py: its own Xvfb display and PulseAudio null sink), and writes them, with fewer
colours, into the folder given. scripts/screenshots.sh runs it with what it needs:

    QUORVEL_BINARY=build/play/quorvel QUORVEL_CAMERA_VIDEOS=DIR screenshots.py docs
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402 (found through the path above)

COLOURS = 128  # enough for the dimmed camera picture without visible bands
# With neither JACK nor the ALSA sequencer (a container) MIDI is off and the banner says so.
NO_MIDI = {"QUORVEL_MIDI": "off"}


def write_small(image, path):
    """At the window's size, with few colours: thin strings stay visible, the file stays small."""
    full = path + ".full.png"
    image.save_png(full)
    subprocess.run(["convert", full, "+dither", "-colors", str(COLOURS), "-strip", "PNG8:" + path],
                   check=True)
    os.remove(full)
    print(f"{path}: {os.path.getsize(path) // 1024} KB")


def ten_strings(app):
    window = app.window()
    app.wait_for_line(r"^Hit q to quit\.$")
    window.keys(*["a"] * 9)
    return window


def best_of(window, count, score):
    """The best of `count` screenshots a fifth of a second apart: a loaded machine may draw late."""
    shots = []
    for _ in range(count):
        shots.append(window.screenshot())
        time.sleep(0.2)
    return max(shots, key=score)


def lit(image):
    return int((image.pixels.max(axis=2) > 60).sum())


def rings(image):
    """Pixels of the yellow rings round fingertips that pluck."""
    red, green, blue = (image.pixels[:, :, k].astype(int) for k in range(3))
    return int(((red > 150) & (green > 130) & (blue < 110)).sum())


def demo(session):
    """The demo's fingertips sweeping across ten strings, taken as one of them plucks, with the
    strings it crossed before still ringing."""
    app = session.quorvel(tracking="demo", extra_env=NO_MIDI)
    window = ten_strings(app)
    plucked = len(app.notes())
    app.wait_for_line(r"^note: ", count=plucked + 12, timeout=30.0)
    image = best_of(window, 5, lit)
    window.keys("q")
    app.wait_exit()
    return image


def camera(session, videos):
    """The camera's view of a real hand (the camera tests' video) leaning past the strings' plane
    and sweeping across them, taken as it plucks."""
    app = session.quorvel(tracking="video:" + os.path.join(videos, "pluck-in.avi"),
                          extra_env=NO_MIDI)
    window = ten_strings(app)
    app.wait_for_line(r"^camera: strings set, lean in to play$", timeout=60.0)
    app.wait_for_line(r"^trig$", timeout=30.0)
    image = best_of(window, 8, rings)
    if rings(image) == 0:
        raise SystemExit("screenshots.py: no fingertip plucking in the camera's view")
    window.keys("q")
    app.wait_exit()
    return image


def main(out):
    videos = os.environ["QUORVEL_CAMERA_VIDEOS"]
    os.makedirs(out, exist_ok=True)
    with harness.Session() as session:
        write_small(demo(session), os.path.join(out, "window.png"))
        write_small(camera(session, videos), os.path.join(out, "camera.png"))


if __name__ == "__main__":
    main(sys.argv[1])
