#!/usr/bin/python3
"""The camera test's two helpers on a video of the camera tests (tests/camera/makevideos.py):

    camera_videos.py y4m VIDEO.avi OUT.y4m   the video for chromium's fake camera (Y4M, 4:2:0)
    camera_videos.py desktop VIDEO.avi       the desktop program's plucks on it, through its
                                             video: source, counted as tests/e2e/test_camera.py
                                             counts them (needs QUORVEL_BINARY)"""

import os
import sys

import cv2


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


def desktop_plucks(video):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                    "tests", "e2e"))
    import harness

    with harness.Session(harness.artifacts_dir("web-camera-desktop")) as session:
        app = session.quorvel(tracking="video:" + video)
        app.window()
        app.wait_for_line(r"^Connected$", timeout=60.0)
        app.wait_for_line(r"^Disconnected$", timeout=60.0)
        print(app.lines().count("trig"))


if __name__ == "__main__":
    if sys.argv[1] == "y4m":
        to_y4m(sys.argv[2], sys.argv[3])
    else:
        desktop_plucks(sys.argv[2])
