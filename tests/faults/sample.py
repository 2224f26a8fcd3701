#!/usr/bin/python3
"""Puts plausible one-line faults, one at a time, into a scratch copy of the committed tree and
reports which tests kill each: first the unit and concurrency tests, then, for a fault none of
them notices, the whole-program tests named beside it. Never part of the test command.

    tests/faults/sample.py [--scratch DIR] [NAME...]

A fault whose text is no longer in its file is reported as stale: write it again for the code."""

import argparse
import os
import re
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# name, file, text, faulty text, whole-program tests to run if no unit test kills it
FAULTS = [
    ("touch-brightness-inverted", "app/instrument/Pluck.cpp",
     "const float share = static_cast<float>(std::max(velocity, 0)) / kPluckVelocity;",
     "const float share = 1.0f - static_cast<float>(std::max(velocity, 0)) / kPluckVelocity;",
     ["e2e_feel"]),
    ("touch-velocity-cap-inverted", "app/instrument/Pluck.cpp",
     "if (share >= 1.0f)", "if (share <= 1.0f)", ["e2e_feel"]),
    ("camera-hand-off-previous-slot", "tracking/camera/CameraView.cpp",
     "fFront = fMiddle.exchange(fFront, std::memory_order_acq_rel) & ~kFresh;",
     "fMiddle.exchange(fFront, std::memory_order_acq_rel);", ["e2e_camera"]),
    ("camera-picture-mirror-dropped", "app/window/CameraPicture.cpp",
     "imageToTracker(point.across, point.down, mirrored)",
     "imageToTracker(point.across, point.down, !mirrored)", ["e2e_camera"]),
    ("key-direction-swapped", "app/window/Keys.cpp",
     "(action == KeyAction::kKeyUp ? 1 : -1)", "(action == KeyAction::kKeyUp ? -1 : 1)",
     ["e2e_keys"]),
    ("touch-toggle-negation-dropped", "app/window/Keys.cpp",
     "ChooseTouch(!Touch());", "ChooseTouch(Touch());", ["e2e_keys", "e2e_feel"]),
    ("scala-degree-off-by-one", "app/instrument/Tuning.cpp",
     "cents[static_cast<std::size_t>(degree - 1)]", "cents[static_cast<std::size_t>(degree)]",
     ["e2e_feel", "e2e_render"]),
    ("scala-ratio-swapped", "app/instrument/Tuning.cpp",
     "std::log2(static_cast<double>(numerator) / static_cast<double>(denominator))",
     "std::log2(static_cast<double>(denominator) / static_cast<double>(numerator))",
     ["e2e_feel", "e2e_render"]),
    ("osc-pluck-arguments-swapped", "app/osc/OscOut.cpp",
     "lo_message_add_int32(message, frame.pluck[k].stringIndex);\n"
     "        lo_message_add_int32(message, frame.pluck[k].note);",
     "lo_message_add_int32(message, frame.pluck[k].note);\n"
     "        lo_message_add_int32(message, frame.pluck[k].stringIndex);", ["e2e_feel"]),
    ("osc-target-first-colon", "app/osc/OscOut.cpp",
     "const std::size_t colon = target.rfind(':');",
     "const std::size_t colon = target.find(':');", ["e2e_feel"]),
    ("options-range-low-end-excluded", "app/Options.cpp",
     "!(value >= low && value <= high)", "!(value > low && value <= high)",
     ["e2e_render", "e2e_feel"]),
    ("options-player-room-dropped", "app/main.cpp",
     "Harp::SetRoom(options.room);", "Harp::SetRoom(0.0f);", ["e2e_feel", "e2e_render"]),
    ("recording-gap-cap-inverted", "tracking/recording/RecordingReader.cpp",
     "fClockMicros += gap > static_cast<std::uint64_t>(kMaxGapMicros)",
     "fClockMicros += gap < static_cast<std::uint64_t>(kMaxGapMicros)",
     ["e2e_recording", "e2e_render", "e2e_examples"]),
    ("recording-settings-timestamp-dropped", "tracking/recording/RecordingSource.cpp",
     "        if (fHaveFrame)\n            object[\"timestamp\"] = fLastTimestamp;\n", "",
     ["e2e_recording", "e2e_feel"]),
]

TARGETS = ["quorvel_tests_unit", "quorvel_tests_concurrency", "quorvel", "quorvel-render",
           "midi_listen", "jack_test_server"]


def run(command, cwd, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def failed_tests(build, label, log, names=None, again=True):
    """Runs ctest (the tests of `label`, or those `names`d) and names the tests that failed; a
    test counts only if it fails twice, as a loaded machine can fail a timing test once."""
    failures = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(failures):
        os.remove(failures)
    command = ["ctest", "-L", label, "-j2", "--output-on-failure"]
    if names:
        command += ["-R", "^(" + "|".join(re.escape(name) for name in names) + ")$"]
    if label == "e2e":
        command = ["flock", "/tmp/quorvel-e2e.lock"] + command
    run(command, build, log)
    if not os.path.exists(failures):
        return []
    with open(failures) as f:
        failed = [line.strip().split(":", 1)[1] for line in f if ":" in line]
    return failed_tests(build, label, log, failed, again=False) if again else failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scratch", default="/tmp/quorvel-fault-sample")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    chosen = [f for f in FAULTS if not args.names or f[0] in args.names]
    scratch = args.scratch
    os.makedirs(scratch, exist_ok=True)
    # The committed tree, so that work in progress never colours the sample.
    subprocess.run(f"git -C {ROOT} archive HEAD | tar -x -C {scratch}", shell=True, check=True)
    build = os.path.join(scratch, "build", "default")
    log = os.path.join(scratch, "sample.log")
    # A shared compile cache, if the caller set one, serves the scratch copy too.
    os.environ["CCACHE_BASEDIR"] = scratch
    if run(["cmake", "--preset", "default"], scratch, log) != 0:
        sys.exit("configure failed; see " + log)
    build_command = ["cmake", "--build", "--preset", "default", "-j2", "--target"] + TARGETS
    if run(build_command, scratch, log) != 0 or failed_tests(build, "unit|concurrency", log):
        sys.exit("the clean tree does not pass; see " + log)
    survivors = stale = 0
    for name, path, text, faulty, e2e in chosen:
        started = time.time()
        source = os.path.join(scratch, path)
        with open(source) as f:
            clean = f.read()
        if clean.count(text) != 1:
            print(f"{name}: stale (its text is not once in {path})", flush=True)
            stale += 1
            continue
        with open(source, "w") as f:
            f.write(clean.replace(text, faulty))
        try:
            if run(build_command, scratch, log) != 0:
                killed = ["(the build)"]
            else:
                killed = failed_tests(build, "unit|concurrency", log)
                if not killed:
                    killed = failed_tests(build, "e2e", log, e2e)
        finally:
            with open(source, "w") as f:
                f.write(clean)
        if not killed:
            survivors += 1
        print(f"{name}: {'killed by ' + ', '.join(killed) if killed else 'SURVIVES'}"
              f" ({time.time() - started:.0f} s)", flush=True)
    run(build_command, scratch, log)
    print(f"{len(chosen) - survivors - stale} of {len(chosen)} killed, {stale} stale (never tried)")
    sys.exit(1 if survivors or stale else 0)


if __name__ == "__main__":
    main()
