#!/usr/bin/python3
"""Makes the camera tests' videos: a real hand photo (see handphotos.py) composited onto a
background and moved and scaled along known paths, written as 640x480 MJPG AVI at 30 fps.

    makevideos.py OUTDIR

For each video NAME.avi, NAME.csv holds one line a frame: time (s), index fingertip x and y
(image pixels) and the hand's scale. The videos are kept in the user's cache, keyed by these
scripts, the photo and OpenCV's and numpy's versions, and only linked into OUTDIR when the key
is unchanged: making them holds every other test back for half a minute."""

import fcntl
import hashlib
import math
import os
import shutil
import sys
import time

import cv2
import numpy as np

import handphotos

WIDTH, HEIGHT, RATE = 640, 480, 30
PHOTO = "main_droite_paume_0"  # a right palm; its fingers point right in the file
BASE_SCALE = 0.8


def upright_hand():
    photo = cv2.rotate(handphotos.photos()[PHOTO], cv2.ROTATE_90_COUNTERCLOCKWISE)
    mask = photo[:, :, 3] > 128
    # The index finger is the second from the thumb (right in the upright photo). Its landmark is
    # the centre of the fingertip's rounded end: on the finger's middle line, half the finger's
    # width below its highest point.
    tops = np.array([np.argmax(mask[:, x]) if mask[:, x].any() else 10**6
                     for x in range(mask.shape[1])])
    band = slice(int(0.5 * mask.shape[1]), int(0.62 * mask.shape[1]))
    x = band.start + int(np.argmin(tops[band]))
    top = int(tops[x])
    left = right = x
    while mask[top + 10, left - 1]:
        left -= 1
    while mask[top + 10, right + 1]:
        right += 1
    return photo, ((left + right) / 2, top + (right - left + 1) / 2)


def background():
    rng = np.random.default_rng(3)
    noise = cv2.resize(rng.random((12, 16, 3)).astype(np.float32), (WIDTH, HEIGHT),
                       interpolation=cv2.INTER_CUBIC)
    wall = np.array([150, 160, 170], np.float32) + 50 * (noise - 0.5)
    wall[int(0.8 * HEIGHT):] *= 0.6  # a desk
    return np.clip(wall, 0, 255)


def frame(photo, tip, where, scale, wall):
    tx, ty = where
    m = np.float32([[scale, 0, tx - scale * tip[0]], [0, scale, ty - scale * tip[1]]])
    placed = cv2.warpAffine(photo, m, (WIDTH, HEIGHT), flags=cv2.INTER_LINEAR,
                            borderMode=cv2.BORDER_CONSTANT, borderValue=(0, 0, 0, 0))
    alpha = placed[:, :, 3:4].astype(np.float32) / 255.0
    return (placed[:, :, :3] * alpha + wall * (1 - alpha)).astype(np.uint8)


def ramp(t, start, length):
    return min(max((t - start) / length, 0.0), 1.0)


def follow_path(t):
    """Still for 1.5 s, an ellipse for 4 s, then the hand grows by half towards the camera."""
    if t < 1.5:
        return (320.0, 150.0), BASE_SCALE
    if t < 5.5:
        phase = 2 * math.pi * (t - 1.5) / 4.0
        return (320 + 120 * math.sin(phase), 150 + 40 * (1 - math.cos(phase))), BASE_SCALE
    return (320.0, 150.0), BASE_SCALE * (1 + 0.5 * ramp(t, 5.5, 1.5))


# Sweeps for the whole program, slow enough to be seen at a few images a second. The picture is a
# mirror: the image's left is the harp's right.
LEFT, RIGHT = 180.0, 460.0


def pluck_in_path(t):
    """Still 4 s (a busy machine's window may be slow); leans in by 5 s; sweeps 6..8 s; holds."""
    return (LEFT + (RIGHT - LEFT) * ramp(t, 6.0, 2.0), 150.0), BASE_SCALE * (1 + 0.4 * ramp(t, 4.0, 1.0))


def pluck_back_path(t):
    """Still 2.5 s at the right; leans in by 3.5 s and draws back by 5 s; sweeps back across
    6..8 s; holds."""
    lean = ramp(t, 2.5, 1.0) - ramp(t, 4.0, 1.0)
    return (RIGHT - (RIGHT - LEFT) * ramp(t, 6.0, 2.0), 150.0), BASE_SCALE * (1 + 0.4 * lean)


VIDEOS = {"follow": (follow_path, 7.5), "pluck-in": (pluck_in_path, 9.5),
          "pluck-back": (pluck_back_path, 9.0)}


def make(out, photo, tip):
    wall = background()
    for name, (path, seconds) in VIDEOS.items():
        writer = cv2.VideoWriter(os.path.join(out, name + ".avi"),
                                 cv2.VideoWriter_fourcc(*"MJPG"), RATE, (WIDTH, HEIGHT))
        if not writer.isOpened():
            raise SystemExit("makevideos.py: OpenCV cannot write MJPG AVI")
        with open(os.path.join(out, name + ".csv"), "w") as truth:
            for n in range(int(seconds * RATE)):
                t = n / RATE
                where, scale = path(t)
                writer.write(frame(photo, tip, where, scale, wall))
                truth.write(f"{t:.4f},{where[0]:.2f},{where[1]:.2f},{scale:.4f}\n")
        writer.release()


def key(photo):
    digest = hashlib.sha256()
    here = os.path.dirname(os.path.abspath(__file__))
    for script in ("makevideos.py", "handphotos.py"):
        with open(os.path.join(here, script), "rb") as f:
            digest.update(f.read())
    digest.update(f"{cv2.__version__} {np.__version__}".encode())
    digest.update(photo.tobytes())
    return digest.hexdigest()[:16]


def main(out):
    photo, tip = upright_hand()
    videos = os.path.join(os.path.dirname(handphotos.cache_dir()), "camera-videos")
    kept = os.path.join(videos, key(photo))
    os.makedirs(videos, exist_ok=True)
    # One maker at a time; a second finds the first one's videos. A folder appears whole or not.
    with open(kept + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isdir(kept):
            work = kept + ".work"
            shutil.rmtree(work, ignore_errors=True)
            os.makedirs(work)
            make(work, photo, tip)
            os.rename(work, kept)
        os.utime(kept)
        # Another key's videos unused for two weeks are gone for good.
        for old in os.listdir(videos):
            path = os.path.join(videos, old)
            unused = time.time() - os.path.getmtime(path) > 14 * 86400
            if path != kept and os.path.isdir(path) and unused:
                shutil.rmtree(path, ignore_errors=True)
        os.makedirs(out, exist_ok=True)
        for name in os.listdir(kept):
            target = os.path.join(out, name)
            if os.path.exists(target):
                os.remove(target)
            shutil.copyfile(os.path.join(kept, name), target)


if __name__ == "__main__":
    main(sys.argv[1])
