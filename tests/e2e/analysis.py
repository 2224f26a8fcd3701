"""Measures what a listener hears in a recording: where notes start and what pitch each has.

Recordings are numpy arrays of float samples, one row per frame, one column per channel.
"""

import numpy as np

RATE = 44100


def note_frequency(note):
    """Frequency in Hz of a note number (69 = 440 Hz, 12 steps per octave)."""
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def _frame_energy(signal, hop):
    frames = len(signal) // hop
    return (signal[: frames * hop].reshape(frames, hop) ** 2).sum(axis=1)


def dropouts(mono, rate=RATE, shortest=16):
    """Gaps in the sound: runs of at least `shortest` samples of exact silence that start while
    the instrument sounds. The sound server fills an underrun of the stream with zeros; a
    decaying string never gives that many exact zeros. Returns (start, end) in seconds."""
    silent = np.concatenate([[False], mono == 0.0, [False]])
    edges = np.flatnonzero(np.diff(silent.astype(np.int8)))
    gaps = []
    for start, end in zip(edges[0::2], edges[1::2]):
        if end - start >= shortest and start > 0 and np.any(mono[max(0, start - 64):start]):
            gaps.append((start / rate, end / rate))
    return gaps


def without_gaps(mono, rate=RATE):
    """The sound as the program rendered it: the sound server plays zeros while the stream
    underruns and then goes on with the stream where it stopped, so cutting the gaps out joins
    the rendered samples up again (only the times after each gap move earlier)."""
    keep = np.ones(len(mono), dtype=bool)
    for start, end in dropouts(mono, rate):
        keep[int(round(start * rate)) : int(round(end * rate))] = False
    return mono[keep]


def plucks_heard(mono, expected, min_gap, rate=RATE, with_joins=False):
    """(the sound with its gaps cut out, the onsets in it) for a recording of `expected` plucks,
    and with_joins, the times in it where gaps were cut. At some underruns the server also
    skipped samples, so the cut leaves a step that reads as an attack: with more onsets than
    plucks, or where it hides the pluck after it, those at a cut are dropped."""
    gaps = dropouts(mono, rate)
    if gaps:
        print(f"{len(gaps)} gaps in the sound (stream underruns, cut out): "
              + ", ".join(f"{start:.3f} s" for start, _ in gaps), flush=True)
        mono = without_gaps(mono, rate)
    onsets = find_onsets(mono, rate, min_gap=min_gap)
    joins = [start - sum(e - s for s, e in gaps[:index]) for index, (start, _) in enumerate(gaps)]
    if joins and len(onsets) >= expected:
        clean = find_onsets(mono, rate, min_gap=min_gap, ignore=joins)
        onsets = clean if len(clean) == expected or len(onsets) > expected else onsets
    return (mono, onsets, joins) if with_joins else (mono, onsets)


def pitches_heard(mono, onsets, joins, window, shortest=0.15, rate=RATE, **options):
    """The pitch of each note, measured over `window` seconds after its onset (pitch_after) and
    never into the next note. Where an underrun was cut out inside that window the wave is spliced,
    and the server may have skipped samples there, which smears the spectrum: the note is measured
    on the longer side of the cut instead, or not at all (None) if neither is `shortest` long."""
    skip = options.pop("skip", 0.02)
    ends = list(onsets[1:]) + [len(mono) / rate]
    pitches = []
    for onset, end in zip(onsets, ends):
        start, stop = onset + skip, min(onset + skip + window, end - 0.02)
        cuts = [join for join in joins if start < join < stop]
        if cuts:
            before = (start, cuts[0] - 0.03)
            after = (cuts[-1] + 0.01, min(cuts[-1] + 0.01 + window, end - 0.02))
            start, stop = max(before, after, key=lambda side: side[1] - side[0])
        if stop - start < shortest:
            pitches.append(None)
            continue
        pitches.append(pitch_after(mono, onset, rate, window=stop - start, skip=start - onset,
                                   **options))
    return pitches


def find_onsets(mono, rate=RATE, min_gap=0.15, floor=0.02, ignore=()):
    """Times in seconds where a new plucked note starts.

    A pluck writes a fresh burst with plenty of high partials, while a string that rings on loses
    them within a few periods. Gaps in the sound (see without_gaps) must be cut out first: their
    edges are as sharp as an attack. So an onset is a sharp rise of the energy of the first difference
    (a high-pass) over its level just before, however loud the older notes still are.
    """
    hop = 128
    high = np.diff(mono, prepend=mono[:1])
    energy = _frame_energy(high, hop)
    # Smooth over 3 frames so one block boundary does not split an attack.
    energy = np.convolve(energy, np.ones(3) / 3.0, mode="same")
    if len(energy) == 0 or energy.max() <= 0.0:
        return []
    # Quieter than this next to the loudest attack is not a pluck: a glitch, or noise.
    least = floor * energy.max()
    look_back = max(2, int(0.06 * rate / hop))
    # Before the recording there was silence: a note that starts it is an onset too.
    energy = np.concatenate([np.zeros(look_back), energy])
    onsets = []
    last = -1e9
    for frame in range(look_back, len(energy)):
        # The smoothing spreads an attack over three hops: compare with the level before it.
        before = energy[frame - look_back : frame - 3].max(initial=0.0)
        if energy[frame] > least and energy[frame] > 4.0 * before:
            seconds = (frame - look_back) * hop / rate
            if seconds - last >= min_gap and all(abs(seconds - t) > 0.03 for t in ignore):
                onsets.append(seconds)
                last = seconds
    return onsets


def _spectrum(mono, start, length, pad):
    segment = mono[start : start + length]
    if len(segment) < length:
        segment = np.pad(segment, (0, length - len(segment)))
    return np.abs(np.fft.rfft(segment * np.hanning(length), n=pad))


def pitch_after(mono, onset, rate=RATE, window=0.3, skip=0.02, low=30.0, high=2000.0,
                ringing=True):
    """Fundamental in Hz of the note that starts at `onset` seconds.

    Takes the magnitude spectrum of `window` seconds after the onset, subtracts that of the same
    length just before it (the strings already ringing), and returns the lowest strong peak of
    what is new: a plucked string's fundamental, refined by parabolic interpolation of the
    log-magnitude spectrum. ringing=False skips the subtraction, for a string plucked again while
    it rings alone: the burst adds to its vibration and may all but cancel the fundamental that
    was there, so what is new can be its octave while the string still sounds its note.
    """
    length = int(window * rate)
    pad = 1 << 18
    start = int((onset + skip) * rate)
    after = _spectrum(mono, start, length, pad)
    before_start = max(0, int((onset - 0.01) * rate) - length)
    before = _spectrum(mono, before_start, length, pad)
    new = np.maximum(after - before, 0.0) if ringing else after
    bins = np.fft.rfftfreq(pad, 1.0 / rate)
    band = (bins >= low) & (bins <= high)
    if not band.any() or new[band].max() <= 0.0:
        return None
    strongest = new[band].max()
    # The lowest local peak that reaches a third of the strongest one is the fundamental.
    indices = np.nonzero(band)[0]
    for k in indices[1:-1]:
        if new[k] >= strongest / 3.0 and new[k] >= new[k - 1] and new[k] >= new[k + 1]:
            a, b, c = np.log(new[k - 1] + 1e-12), np.log(new[k] + 1e-12), np.log(new[k + 1] + 1e-12)
            shift = 0.5 * (a - c) / (a - 2 * b + c) if (a - 2 * b + c) != 0 else 0.0
            return (k + shift) * rate / pad
    return None


def relative_error(measured, expected):
    return abs(measured - expected) / expected
