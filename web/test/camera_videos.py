#!/usr/bin/python3
"""The camera test's helpers on a video of the camera tests (tests/camera/makevideos.py):

    camera_videos.py y4m VIDEO.avi OUT.y4m   the video for chromium's fake camera (Y4M, 4:2:0)
    camera_videos.py desktop VIDEO.avi [N]   the desktop program's plucks on it, through its
                                             video: source, counted as tests/e2e/test_camera.py
                                             counts them, on N strings (the key a: one more)
                                             (needs QUORVEL_BINARY)
    camera_videos.py two OUTDIR              a video of two hands from the same photo (below)"""

import hashlib
import os
import sys

import cv2
import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "tracking", "camera"))


def to_y4m(video, out):
    capture = cv2.VideoCapture(video)
    rate = round(capture.get(cv2.CAP_PROP_FPS)) or 30
    frames = 0
    with open(out, "wb") as y4m:
        while True:
            ok, image = capture.read()
            if not ok:
                break
            if frames == 0:
                height, width = image.shape[:2]
                y4m.write(f"YUV4MPEG2 W{width} H{height} F{rate}:1 Ip A1:1 C420jpeg\n".encode())
            y4m.write(b"FRAME\n")
            y4m.write(cv2.cvtColor(image, cv2.COLOR_BGR2YUV_I420).tobytes())
            frames += 1
    if frames == 0:
        sys.exit(f"{video}: no frames")
    print(frames / rate)


def desktop_plucks(video, strings):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                    "tests", "e2e"))
    import harness

    with harness.Session(harness.artifacts_dir("web-camera-desktop")) as session:
        app = session.quorvel(tracking="video:" + video)
        window = app.window()
        if strings > 1:
            window.keys(*["a"] * (strings - 1))
        app.wait_for_line(r"^Connected$", timeout=60.0)
        app.wait_for_line(r"^Disconnected$", timeout=60.0)
        print(app.lines().count("trig"))


def two_hands(out):
    """two-hands.avi in OUT (a folder), kept as the camera tests' videos are: the photo as a right
    hand left of the middle and mirrored as a left hand right of it, still 2.5 s, leaning in two
    fifths by 3.5 s, sweeping 90 px apart over 4.5..6.5 s."""
    import makevideos as m

    photo, tip = m.upright_hand()
    mirrored, mirrored_tip = photo[:, ::-1].copy(), (photo.shape[1] - 1 - tip[0], tip[1])
    one, key = m.frame, m.key

    def both(_photo, _tip, where, scale, wall):  # where: how far apart, and the height
        image = one(photo, tip, (240 - where[0], where[1]), scale, wall).astype(np.float32)
        return one(mirrored, mirrored_tip, (400 + where[0], where[1]), scale, image)

    def path(t):
        return (90 * m.ramp(t, 4.5, 2.0), 150.0), 0.7 * (1 + 0.4 * m.ramp(t, 2.5, 1.0))

    with open(os.path.abspath(__file__), "rb") as script:
        mine = hashlib.sha256(script.read()).hexdigest()[:16]
    m.frame, m.VIDEOS, m.key = both, {"two-hands": (path, 8.0)}, lambda p: f"{key(p)}-two-{mine}"
    m.main(out)


if __name__ == "__main__":
    if sys.argv[1] == "y4m":
        to_y4m(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "two":
        two_hands(sys.argv[2])
    else:
        desktop_plucks(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 1)
