"""Recorded performances for the instrument, written as the tracking service's JSON frames
(version 6, one object per line), the format QUORVEL_TRACKING=replay:PATH plays.

Positions are given the way the instrument sees them: x and y in normalised window units
(0..1, left to right and bottom to top) and the depth z in millimetres (negative beyond the
string plane). They are turned back into the tracker's millimetres on writing.

Run as a script to write the example performances shipped under examples/:

    python3 tests/e2e/performances.py examples
"""

import json
import os
import sys

FRAME_SECONDS = 0.01  # 100 frames per second, as the tracking service delivers them
ABOVE_MM = 40.0        # hovering in front of the string plane: nothing is plucked
BEYOND_MM = -25.0      # reached through the plane: a sideways move plucks
TRAVEL_FRAME_SECONDS = 0.04


def string_position(index, strings):
    """Rest position of a string in normalised window units, (i + 0.5) / n."""
    return (index + 0.5) / strings


def to_tracker(x, y, z):
    """Normalised window position (and depth in mm) to tracker millimetres."""
    return [round(x * 400.0 - 200.0, 2), round(y * 200.0 + 150.0, 2), round(z, 2)]


class Performance:
    """A timeline of frames. Each finger belongs to its own hand; a finger absent from a frame
    is gone (the instrument removes its track)."""

    def __init__(self):
        self.lines = []
        self.seconds = 0.0
        self.fingers = {}  # finger id -> (x, y, z)
        self._frame_id = 0

    def _emit(self):
        # Every finger on a hand of its own, hand id 100 + finger id.
        hands = [{"id": 100 + finger_id, "type": "right"} for finger_id in sorted(self.fingers)]
        pointables = [{"id": finger_id, "handId": 100 + finger_id,
                       "tipPosition": to_tracker(*self.fingers[finger_id])}
                      for finger_id in sorted(self.fingers)]
        self._frame_id += 1
        self.lines.append(json.dumps({"id": self._frame_id,
                                      "timestamp": int(round(self.seconds * 1e6)),
                                      "hands": hands, "pointables": pointables},
                                     separators=(",", ":")))
        self.seconds += FRAME_SECONDS

    def instrument(self, strings=None, scale=None):
        """A settings line: the replay sets the harp's strings and scale here, as keys would.
        Before the first frame it carries no timestamp and applies at once."""
        settings = {}
        if strings is not None:
            settings["strings"] = strings
        if scale is not None:
            settings["scale"] = scale
        line = {"instrument": settings}
        if self._frame_id:
            line["timestamp"] = int(round(self.seconds * 1e6))
        self.lines.append(json.dumps(line, separators=(",", ":")))

    def hold(self, seconds):
        """Keeps every finger where it is for a while, frame after frame."""
        for _ in range(max(1, int(round(seconds / FRAME_SECONDS)))):
            self._emit()

    def pause(self, seconds):
        """One frame, then none for a while: the replay waits, the fingers stay where they are."""
        self._emit()
        self.seconds += max(0.0, seconds - FRAME_SECONDS)

    def clear(self):
        """All fingers leave: the next frame has no hands."""
        self.fingers.clear()
        self._emit()

    def place(self, finger_id, x, y, z):
        self.fingers[finger_id] = (x, y, z)

    def remove(self, finger_id):
        self.fingers.pop(finger_id, None)

    def move(self, seconds, frame_seconds=FRAME_SECONDS, **targets):
        """Moves fingers in straight lines to their targets, given as f<ID>=(x, y, z), one frame
        every `frame_seconds`."""
        steps = max(1, int(round(seconds / frame_seconds)))
        starts = {int(name[1:]): self.fingers[int(name[1:])] for name in targets}
        for step in range(1, steps + 1):
            share = step / steps
            for name, target in targets.items():
                finger_id = int(name[1:])
                start = starts[finger_id]
                self.fingers[finger_id] = tuple(a + (b - a) * share for a, b in zip(start, target))
            self._emit()
            self.seconds += seconds / steps - FRAME_SECONDS

    def pluck(self, finger_id, string, strings, seconds, height=0.5):
        """One rightward pluck of one string, taking `seconds` in all: the fingertip travels in
        front of the plane to just left of the string, reaches through, sweeps across it and
        comes back in front. Only that string is crossed beyond the plane."""
        spacing = 1.0 / strings
        rest = string_position(string, strings)
        left, right = rest - 0.35 * spacing, rest + 0.35 * spacing
        travel = max(FRAME_SECONDS, seconds - 0.16)
        # Travelling in front of the plane plucks nothing, so fewer frames do.
        self.move(travel, TRAVEL_FRAME_SECONDS, **{f"f{finger_id}": (left, height, ABOVE_MM)})
        self.move(0.04, **{f"f{finger_id}": (left, height, BEYOND_MM)})
        self.move(0.08, **{f"f{finger_id}": (right, height, BEYOND_MM)})
        self.move(0.04, **{f"f{finger_id}": (right, height, ABOVE_MM)})

    def write(self, path):
        with open(path, "w") as out:
            for line in self.lines:
                out.write(line + "\n")


def melody(strings_played, strings, beat_seconds, lead_in=0.0, performance=None, height=0.6):
    """A tune picked one string at a time, one finger; `strings_played` holds string indices,
    or (index, beats) pairs for longer notes."""
    performance = performance or Performance()
    if 1 not in performance.fingers:
        performance.place(1, 0.02, height, ABOVE_MM)
        performance.pause(lead_in)
    for entry in strings_played:
        index, beats = entry if isinstance(entry, tuple) else (entry, 1)
        performance.pluck(1, index, strings, beat_seconds * beats, height)
    return performance


# String indices of the example tunes on a 10-string harp. In the start scale (pentatonic major)
# strings 0..5 play G#1 A#1 C#2 D#2 F2 G#2: sol la do re mi sol of C# major.
AMAZING_GRACE = [(0, 1), (2, 2), (4, 0.5), (2, 0.5), (4, 2), (3, 1), (2, 2), (1, 1), (0, 2),
                 (0, 1), (2, 2), (4, 0.5), (2, 0.5), (4, 2), (3, 1), (5, 3)]
# In the diatonic scale (key 3) strings 0..5 play G#1 A#1 C2 C#2 D#2 F2: do re mi fa sol la of
# G# major.
ODE_TO_JOY = [2, 2, 3, 4, 4, 3, 2, 1, 0, 0, 1, 2, (2, 1.5), (1, 0.5), (1, 2),
              2, 2, 3, 4, 4, 3, 2, 1, 0, 0, 1, 2, (1, 1.5), (0, 0.5), (0, 2)]

# Notes the instrument prints for them (note numbers, 69 = A4).
AMAZING_GRACE_NOTES = [32, 37, 41, 37, 41, 39, 37, 34, 32, 32, 37, 41, 37, 41, 39, 44]
ODE_TO_JOY_NOTES = [36, 36, 37, 39, 39, 37, 36, 34, 32, 32, 34, 36, 36, 34, 34,
                    36, 36, 37, 39, 39, 37, 36, 34, 32, 32, 34, 36, 34, 32, 32]
# The glissando: up across every string with one finger, down with another, then both at once.
GLISSANDO_NOTES_10 = ([32, 34, 37, 39, 41, 44, 46, 49, 51, 53]
                      + [53, 51, 49, 46, 44, 41, 39, 37, 34, 32])

LEAD_IN_SECONDS = 5.0  # time to press "a" nine times (and "3") before the tune begins
# The examples set the harp up themselves; a moment of hovering before the first note.
EXAMPLE_LEAD_IN_SECONDS = 3.0


def glissando(lead_in=LEAD_IN_SECONDS, performance=None):
    """Sweeps across the whole play area beyond the plane: whatever the number of strings, each
    string is plucked once on the way up (finger 1, high) and once on the way down (finger 2,
    low, a leftward sweep); then both fingers sweep at once in opposite directions."""
    performance = performance or Performance()
    performance.place(1, -0.05, 0.75, ABOVE_MM)
    performance.place(2, 1.05, 0.3, ABOVE_MM)
    performance.pause(lead_in)
    performance.move(0.1, f1=(-0.05, 0.75, BEYOND_MM))
    performance.move(1.6, f1=(1.05, 0.75, BEYOND_MM))
    performance.move(0.1, f1=(1.05, 0.75, ABOVE_MM))
    performance.move(0.5, TRAVEL_FRAME_SECONDS,
                     f1=(-0.05, 0.75, ABOVE_MM), f2=(1.05, 0.3, BEYOND_MM))
    performance.move(1.6, f2=(-0.05, 0.3, BEYOND_MM))
    performance.move(0.1, f2=(-0.05, 0.3, ABOVE_MM))
    performance.move(0.5, TRAVEL_FRAME_SECONDS,
                     f1=(-0.05, 0.75, BEYOND_MM), f2=(1.05, 0.3, ABOVE_MM))
    performance.move(0.1, f2=(1.05, 0.3, BEYOND_MM))
    performance.move(1.6, f1=(1.05, 0.75, BEYOND_MM), f2=(-0.05, 0.3, BEYOND_MM))
    performance.move(0.1, f1=(1.05, 0.75, ABOVE_MM), f2=(-0.05, 0.3, ABOVE_MM))
    performance.pause(2.0)
    performance.clear()
    return performance


def write_examples(directory):
    os.makedirs(directory, exist_ok=True)
    def set_up(strings, scale):
        performance = Performance()
        performance.instrument(strings=strings, scale=scale)
        return performance

    glissando(EXAMPLE_LEAD_IN_SECONDS, set_up(10, "pentatonic-major")).write(
        os.path.join(directory, "glissando.jsonl"))
    tail = 2.5
    grace = melody(AMAZING_GRACE, 10, 0.45, lead_in=EXAMPLE_LEAD_IN_SECONDS,
                   performance=set_up(10, "pentatonic-major"))
    grace.pause(tail)
    grace.clear()
    grace.write(os.path.join(directory, "amazing-grace.jsonl"))
    joy = melody(ODE_TO_JOY, 10, 0.4, lead_in=EXAMPLE_LEAD_IN_SECONDS,
                 performance=set_up(10, "diatonic"))
    joy.pause(tail)
    joy.clear()
    joy.write(os.path.join(directory, "ode-to-joy.jsonl"))


if __name__ == "__main__":
    write_examples(sys.argv[1] if len(sys.argv) > 1 else "examples")
