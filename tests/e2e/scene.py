"""Reads a screenshot of the instrument's window the way a person looks at it: where the strings
stand and what colour they are, where a red fingertip is, where the banner starts.

The scene is lit (colour material, light 0 behind the picture plane), so colours come out dark:
the tests compare hues (how red against green and blue), never exact values.
"""

from dataclasses import dataclass

import numpy as np

LIT = 10  # a channel above this is drawn, not background (black)


@dataclass
class Line:
    x: float        # centre column in pixels from the left edge
    colour: tuple   # (r, g, b) of its core

    @property
    def pink(self):
        r, g, b = self.colour
        return r > 1.5 * g and r > 1.5 * b

    @property
    def grey(self):
        r, g, b = self.colour
        return abs(r - g) <= 0.15 * max(r, 1) and abs(r - b) <= 0.15 * max(r, 1)


def string_lines(image, band=(0.3, 0.7)):
    """The vertical lines crossing the middle of the picture (the strings), left to right.

    A column belongs to a line when it is drawn in most rows of the band; neighbouring such
    columns make one line, whose centre is weighted by brightness.
    """
    pixels = image.pixels.astype(float)
    top, bottom = int(band[0] * image.height), int(band[1] * image.height)
    middle = pixels[top:bottom]
    drawn = middle.max(axis=2) > LIT
    columns = drawn.mean(axis=0) > 0.6
    lines = []
    x = 0
    while x < image.width:
        if not columns[x]:
            x += 1
            continue
        start = x
        while x < image.width and columns[x]:
            x += 1
        span = middle[:, start:x]
        weight = span.max(axis=2).sum(axis=0)
        centre = start + float((weight * np.arange(x - start)).sum() / max(weight.sum(), 1e-9))
        # Colour of the line's core: the brightest pixel of each row, away from the smoothed
        # edges; the median over the rows ignores a fingertip drawn over part of the line.
        brightest = span[np.arange(len(span)), span.max(axis=2).argmax(axis=1)]
        lines.append(Line(centre, tuple(float(v) for v in np.median(brightest, axis=0))))
    return lines


def expected_string_x(index, count, width):
    """Where string `index` of `count` should stand, in pixels: (i + 0.5) / n of the width."""
    return (index + 0.5) / count * width


@dataclass
class Blob:
    left: int
    right: int
    top: int
    bottom: int

    @property
    def centre(self):
        return ((self.left + self.right) / 2.0, (self.top + self.bottom) / 2.0)

    @property
    def radius(self):
        """Half the extent, averaged over both axes, in pixels."""
        return ((self.right - self.left + 1) + (self.bottom - self.top + 1)) / 4.0


def _blob(mask, region=None):
    if region is not None:
        left, top, right, bottom = region
        clipped = np.zeros_like(mask)
        clipped[top:bottom, left:right] = mask[top:bottom, left:right]
        mask = clipped
    rows = np.nonzero(mask.any(axis=1))[0]
    columns = np.nonzero(mask.any(axis=0))[0]
    if len(rows) == 0:
        return None
    return Blob(int(columns[0]), int(columns[-1]), int(rows[0]), int(rows[-1]))


def red_mask(image):
    r, g, b = (image.pixels[:, :, k].astype(float) for k in range(3))
    return (r > 2 * LIT) & (r > 2.5 * g) & (r > 2.5 * b)


def magenta_mask(image):
    r, g, b = (image.pixels[:, :, k].astype(float) for k in range(3))
    return (r > 2 * LIT) & (b > 2 * LIT) & (r > 2.5 * g) & (b > 2.5 * g) & \
        (np.abs(r - b) < 0.35 * np.maximum(r, b))


def red_sphere(image, region=None):
    """The extent of the red (touching) fingertip, if one is drawn; region = (l, t, r, b)."""
    return _blob(red_mask(image), region)


def banner(image):
    """The extent of the magenta banner text, if drawn."""
    return _blob(magenta_mask(image))
