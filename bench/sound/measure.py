"""One pluck per pitch (MIDI 36 to 96 by octaves) in each of Quorvel's voices, rendered with
quorvel-render, beside the General MIDI "Orchestral Harp" of Debian's fluid-soundfont-gm rendered
dry by fluidsynth, measured alike and printed as one table; the decay against pitch is drawn
into a PNG. Run it through bench/sound/run.sh, which installs what it needs and builds the
renderer:

    bench/sound/run.sh [--png docs/sound-decay.png]

Every measure is taken on the dry sound from the pluck's first sample (its onset).
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import performances  # noqa: E402
import render as wav  # noqa: E402

PITCHES = [36, 48, 60, 72, 84, 96]
RATE = 44100
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
HARP_PROGRAM = 46  # counting from 0: "Orchestral Harp"
HELD_SECONDS = 14.0


def pluck_recording(path, note):
    """One string tuned to `note`, plucked once at height 0.6. A tuning of one cent a step keeps
    the thirty strings the key must allow for within range up to note 96."""
    take = performances.Performance()
    take.lines.append('{"instrument":{"strings":1,"scale":"scala","tuning":{"description":"steps '
                      'of a cent","cents":[1.0]},"key":%d}}' % note)
    take.place(1, 0.02, 0.6, performances.ABOVE_MM)
    take.pause(0.2)
    take.pluck(1, 0, 1, 0.4, 0.6)
    take.clear()
    take.write(path)


def render_voice(binary, voice, note, directory):
    recording = os.path.join(directory, f"pluck-{note}.jsonl")
    out = os.path.join(directory, f"{voice}-{note}.wav")
    pluck_recording(recording, note)
    subprocess.run([binary, "--float", "--voice", voice, "--tail", "8", recording, out],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return wav.read_wav(out)[0]


def midi_file(path, note):
    """A format-0 MIDI file: program HARP_PROGRAM, the note at velocity 127 held HELD_SECONDS."""
    def var(value):
        out = [value & 0x7F]
        value >>= 7
        while value:
            out.insert(0, (value & 0x7F) | 0x80)
            value >>= 7
        return bytes(out)
    ticks = 480  # per quarter note, at the default 120 beats a minute: 960 a second
    track = (b"\x00\xc0" + bytes([HARP_PROGRAM]) + b"\x00\x90" + bytes([note, 127]) +
             var(int(HELD_SECONDS * 960)) + b"\x80" + bytes([note, 0]) + b"\x00\xff\x2f\x00")
    with open(path, "wb") as out:
        out.write(b"MThd" + (6).to_bytes(4, "big") + (0).to_bytes(2, "big") +
                  (1).to_bytes(2, "big") + ticks.to_bytes(2, "big"))
        out.write(b"MTrk" + len(track).to_bytes(4, "big") + track)


def render_harp(note, directory):
    mid, out = os.path.join(directory, f"harp-{note}.mid"), os.path.join(directory, f"harp-{note}.wav")
    midi_file(mid, note)
    subprocess.run(["fluidsynth", "-ni", "-R", "0", "-C", "0", "-r", str(RATE), "-O", "float",
                    "-T", "wav", "-F", out, SOUNDFONT, mid],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return wav.read_wav(out)[0]


def frame_db(x, frame, hop):
    count = max(1, 1 + (len(x) - frame) // hop)
    rms = np.array([np.sqrt(np.mean(x[i * hop:i * hop + frame] ** 2)) for i in range(count)])
    return 20 * np.log10(np.maximum(rms, 1e-12))


def fit_slope(times, db):
    """dB per second of a least-squares line; nan with fewer than three points."""
    if len(times) < 3:
        return float("nan")
    return float(np.polyfit(times, db, 1)[0])


def partial_peak(spectrum, hz_per_bin, hz):
    """The strongest bin within 3 % of `hz`, refined by a parabola: (Hz, magnitude dB)."""
    low = max(1, int(hz * 0.97 / hz_per_bin))
    high = min(len(spectrum) - 2, int(math.ceil(hz * 1.03 / hz_per_bin)))
    if high <= low:
        return float("nan"), -300.0
    k = low + int(np.argmax(spectrum[low:high + 1]))
    a, b, c = (20 * np.log10(max(spectrum[i], 1e-15)) for i in (k - 1, k, k + 1))
    shift = 0.5 * (a - c) / (a - 2 * b + c) if (a - 2 * b + c) != 0 else 0.0
    return (k + shift) * hz_per_bin, b - 0.25 * (a - c) * shift


def measure(stereo, note):
    f0 = 440.0 * 2 ** ((note - 69) / 12)
    loud = np.abs(stereo).max(axis=1)
    onset = int(np.argmax(loud > 1e-4 * loud.max()))
    x = stereo[onset:]
    # The two sides' sum, unless they are in antiphase (as the sampled harp's are from note 84
    # up): then the left side alone.
    left_right = float(np.sum(x[:RATE, 0] * x[:RATE, 1]))
    mono = x.mean(axis=1) if left_right >= 0 else x[:, 0]
    nyquist = RATE / 2
    out = {}

    # The level envelope: 10 ms frames.
    hop = RATE // 100
    env = frame_db(mono, hop, hop)
    peak_frame = int(np.argmax(env))
    peak = env[peak_frame]
    times = np.arange(len(env)) * hop / RATE
    after = np.arange(len(env)) >= peak_frame
    span = after & (env <= peak - 5) & (env >= peak - 35)
    late = fit_slope(times[span], env[span])
    out["T60 s"] = -60 / late if late < 0 else float("nan")
    below = np.nonzero(after & (env < peak - 40))[0]
    out["to -40 dB s"] = times[below[0]] if len(below) else float("nan")
    early = np.nonzero(after & (env < peak - 10))[0]
    out["early dB/s"] = 10 / (times[early[0]] - times[peak_frame]) if len(early) else float("nan")

    # Partials: 4096-point frames every 1024 samples.
    frame, step = 4096, 1024
    window = np.hanning(frame)
    hz_per_bin = RATE / frame
    frames = [np.abs(np.fft.rfft(mono[i:i + frame] * window))
              for i in range(0, min(len(mono), 4 * RATE) - frame, step)]
    frame_times = np.arange(len(frames)) * step / RATE + frame / 2 / RATE
    for k in (1, 5, 10):
        if k * f0 > 0.9 * nyquist or not frames:
            out[f"p{k} dB/s"] = float("nan")
            continue
        track = np.array([partial_peak(s, hz_per_bin, k * f0)[1] for s in frames])
        top = int(np.argmax(track[:max(1, int(0.3 * RATE / step))]))
        fall = np.nonzero((np.arange(len(track)) > top) & (track < track[top] - 40))[0]
        end = fall[0] if len(fall) else len(track)
        chosen = slice(top, end)
        slope = fit_slope(frame_times[chosen], track[chosen])
        out[f"p{k} dB/s"] = -slope

    def centroid(seconds):
        part = mono[:int(seconds * RATE)]
        spectrum = np.abs(np.fft.rfft(part * np.hanning(len(part)))) ** 2
        hz = np.fft.rfftfreq(len(part), 1 / RATE)
        return float((spectrum * hz).sum() / spectrum.sum() / f0)
    out["centroid 0.1 s"] = centroid(0.1)
    out["centroid 2 s"] = centroid(2.0)

    # Time to peak: 5 ms windows, 1 ms apart.
    fine = frame_db(mono[:int(0.3 * RATE)], RATE // 200, RATE // 1000)
    out["peak ms"] = float(np.argmax(fine)) + 2.5

    # Noise share of the first 20 ms after the first period: what one period does not repeat.
    period = RATE / f0
    start, length = int(math.ceil(period)), int(0.02 * RATE)
    t = np.arange(start, start + length)
    before = np.interp(t - period, np.arange(len(mono)), mono)
    now = mono[t]
    out["noise 20 ms"] = float(np.sum((now - before) ** 2) / (2 * np.sum(now ** 2)))

    # Fundamental against the strongest partial, and inharmonicity, over the first second.
    part = mono[:RATE]
    spectrum = np.abs(np.fft.rfft(part * np.hanning(len(part)), 8 * RATE))
    fine_hz = RATE / (8 * RATE)
    partials = [partial_peak(spectrum, fine_hz, k * f0) for k in range(1, 21) if k * f0 < 0.9 * nyquist]
    levels = [level for _, level in partials]
    out["p1 vs top dB"] = levels[0] - max(levels)
    heard = [(k + 1, hz) for k, (hz, level) in enumerate(partials[:10]) if level > max(levels) - 50]
    if len(heard) >= 3:
        ks = np.array([k for k, _ in heard], float)
        hz = np.array([h for _, h in heard])
        slope, intercept = np.polyfit(ks ** 2, (hz / ks) ** 2, 1)
        out["B"] = slope / intercept
    else:
        out["B"] = float("nan")

    # Stereo over the first second.
    left, right = x[:RATE, 0], x[:RATE, 1]
    out["L-R corr"] = float(np.sum(left * right) / math.sqrt(np.sum(left ** 2) * np.sum(right ** 2)))
    side, middle = (left - right) / 2, (left + right) / 2
    out["side/mid dB"] = 10 * math.log10(max(np.sum(side ** 2), 1e-30) / np.sum(middle ** 2))

    # Over the whole periods of the first 50 ms: a part of a period has a mean of its own.
    first = mono[:int(period * math.floor(0.05 * RATE / period))]
    mean = first.mean()
    out["DC/AC dB"] = 20 * math.log10(max(abs(mean), 1e-12) / np.sqrt(np.mean((first - mean) ** 2)))
    out["loudness dB"] = 20 * math.log10(np.sqrt(np.mean(mono[:RATE] ** 2)))
    return out


def fmt(value):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "-"
    if abs(value) != 0 and (abs(value) < 0.01 or abs(value) >= 1e4):
        return f"{value:.1e}"
    return f"{value:.3g}" if abs(value) < 100 else f"{value:.0f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--render", default="build/default/quorvel-render")
    parser.add_argument("--png", default="")
    args = parser.parse_args()
    sources = ["classic", "concert", "harp"]
    results = {}
    with tempfile.TemporaryDirectory() as directory:
        for note in PITCHES:
            for source in sources:
                sound = (render_harp(note, directory) if source == "harp"
                         else render_voice(args.render, source, note, directory))
                results[(source, note)] = measure(sound, note)
    names = list(results[(sources[0], PITCHES[0])].keys())
    print("| measure | " + " | ".join(str(n) for n in PITCHES) + " |")
    print("|---|" + "---|" * len(PITCHES))
    for name in names:
        for source in sources:
            row = [fmt(results[(source, n)][name]) for n in PITCHES]
            print(f"| {name}, {source} | " + " | ".join(row) + " |")
    for source in sources:
        levels = [results[(source, n)]["loudness dB"] for n in PITCHES]
        print(f"loudness spread, {source}: {max(levels) - min(levels):.1f} dB")
    if args.png:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        figure, axes = plt.subplots(1, 2, figsize=(10, 4))
        for source, style in zip(sources, ["o-", "s-", "^--"]):
            axes[0].semilogy(PITCHES, [results[(source, n)]["T60 s"] for n in PITCHES], style, label=source)
            axes[1].semilogy(PITCHES, [results[(source, n)]["p1 dB/s"] for n in PITCHES], style, label=source)
        axes[0].set(xlabel="MIDI note", ylabel="T60, s", title="Decay time")
        axes[1].set(xlabel="MIDI note", ylabel="dB/s", title="Decay of partial 1")
        for ax in axes:
            ax.grid(True, which="both", alpha=0.3)
            ax.legend()
        figure.tight_layout()
        os.makedirs(os.path.dirname(os.path.abspath(args.png)), exist_ok=True)
        figure.savefig(args.png, dpi=90)
        print("decay against pitch:", args.png)


if __name__ == "__main__":
    main()
