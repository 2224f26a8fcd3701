"""The whole program sends its plucks out as MIDI: the real binary under Xvfb and PulseAudio,
with a JACK server on the dummy backend and an RtMidi input (midi_listen) on the port "Quorvel".
"""

import os
import shutil
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "e2e"))

import harness  # noqa: E402  first: it reports a missing numpy as a skip
import performances  # noqa: E402


def example(name):
    return os.path.join(os.environ["QUORVEL_SOURCE_DIR"], "examples", name)


def start_jack(session, rate=44100, period=256):
    """A JACK server with the dummy backend, run by jack_test_server under a name no other test
    uses and ended with the session, or with this process however it ends; the environment that
    points a client at it."""
    if shutil.which("jackd") is None or shutil.which("jack_lsp") is None:
        raise harness.Skip("jackd is not installed (Debian package jackd2); "
                           "scripts/deps.sh installs it")
    harness.clear_stale_jack_database()
    server = session.spawn([os.environ["QUORVEL_JACK_TEST_SERVER"], str(rate), str(period)],
                           session.base_env(), "jackd")
    _, name = server.wait_for_line(r"^quorvel-midi-\d+$", timeout=60.0)
    return {"JACK_DEFAULT_SERVER": name.group(0), "JACK_NO_AUDIO_RESERVATION": "1",
            "JACK_NO_START_SERVER": "1"}


def listen(session, jack_env):
    listener = session.spawn([os.environ["QUORVEL_MIDI_LISTEN"]],
                             dict(session.base_env(), **jack_env), "midi_listen")
    listener.wait_for_line(r"^connected$", timeout=30.0)
    return listener


def midi_messages(listener):
    """(kind, note, velocity, channel) for every line midi_listen printed."""
    messages = []
    for line in listener.lines():
        if line == "connected":
            continue
        kind, note, velocity, channel = line.split()
        messages.append((kind, int(note), int(velocity), int(channel)))
    return messages


def printed_notes(lines):
    return [int(line.split()[1]) for line in lines if line.startswith("note: ")]


class MidiOutputTest(unittest.TestCase):
    def assert_balanced(self, messages):
        """Each note-on is ended by its note-off before the note sounds again; none is left."""
        sounding = set()
        for kind, note, _, channel in messages:
            self.assertEqual(channel, 1, messages)
            if kind == "on":
                self.assertNotIn(note, sounding, messages)
                sounding.add(note)
            else:
                self.assertEqual(kind, "off", messages)
                self.assertIn(note, sounding, messages)
                sounding.discard(note)
        self.assertEqual(sounding, set(), messages)

    def test_a_recorded_performance_goes_out_as_midi_and_quit_ends_every_note(self):
        with harness.Session(harness.artifacts_dir("midi-amazing-grace")) as session:
            jack_env = start_jack(session)
            app = session.quorvel(tracking="replay:" + example("amazing-grace.jsonl"),
                                  extra_env=jack_env)
            app.wait_for_line(r'^MIDI out: port "Quorvel" on JACK$', which="err", timeout=30.0)
            listener = listen(session, jack_env)
            window = app.window()  # the file sets its strings up itself
            app.wait_for_line(r"^Disconnected$", timeout=60.0)
            window.keys("q")
            self.assertEqual(app.wait_exit(), 0, app.text("err"))
            notes = performances.AMAZING_GRACE_NOTES
            listener.wait_for_line(r"^off ", count=len(notes), timeout=10.0)
            time.sleep(0.3)
            messages = midi_messages(listener)

        self.assertEqual(printed_notes(app.lines()), notes)
        self.assertEqual([note for kind, note, _, _ in messages if kind == "on"], notes)
        self.assertEqual({velocity for kind, _, velocity, _ in messages if kind == "on"}, {127})
        self.assert_balanced(messages)

    def test_a_quit_signal_ends_every_sounding_note_before_the_program_ends(self):
        with harness.Session(harness.artifacts_dir("midi-signal")) as session:
            jack_env = start_jack(session)
            app = session.quorvel(tracking="replay:" + example("amazing-grace.jsonl"),
                                  extra_env=jack_env)
            app.wait_for_line(r'^MIDI out: port "Quorvel" on JACK$', which="err", timeout=30.0)
            listener = listen(session, jack_env)
            window = app.window()
            window.keys(*["a"] * 9)
            listener.wait_for_line(r"^on ", count=3, timeout=60.0)
            app.signal(signal.SIGTERM)
            status = app.wait_exit(30.0)
            time.sleep(0.5)  # the last note-offs on their way through JACK
            messages = midi_messages(listener)

        self.assertEqual(status, -signal.SIGTERM, app.text("err"))
        self.assertGreaterEqual(sum(1 for kind, _, _, _ in messages if kind == "on"), 3)
        self.assert_balanced(messages)

    def play_passage(self, session, extra_env):
        """A short tune on 3 strings (two "a" presses in its lead-in); the program's standard
        output and error lines."""
        path = os.path.join(session.tempdir("perf"), "passage.jsonl")
        if not os.path.exists(path):
            performance = performances.melody([0, 1, 2, 1, 0, 2, (2, 2)], 3, 0.3,
                                              lead_in=performances.LEAD_IN_SECONDS)
            performance.pause(0.5)
            performance.clear()
            performance.write(path)
        app = session.quorvel(tracking="replay:" + path, extra_env=extra_env)
        window = app.window()
        window.keys("a", "a")
        app.wait_for_line(r"^Disconnected$", timeout=60.0)
        window.keys("q")
        self.assertEqual(app.wait_exit(), 0, app.text("err"))
        return app.lines(), app.text("err").splitlines()

    def test_standard_output_is_the_same_with_midi_off_missing_or_on(self):
        with harness.Session(harness.artifacts_dir("midi-stdout")) as session:
            silent_alsa = os.path.join(session.tempdir("alsa"), "empty.conf")
            open(silent_alsa, "w").close()
            no_midi_system = {"JACK_DEFAULT_SERVER": "quorvel-no-such-server",
                              "JACK_NO_START_SERVER": "1", "ALSA_CONFIG_PATH": silent_alsa}
            off_out, off_err = self.play_passage(session, {"QUORVEL_MIDI": "off"})
            missing_out, missing_err = self.play_passage(session, no_midi_system)
            jack_env = start_jack(session)
            on_out, on_err = self.play_passage(session, jack_env)

        self.assertEqual(printed_notes(off_out), [32, 34, 37, 34, 32, 37, 37])
        # The window thread's lines and the tracking thread's lines each in their own order:
        # they interleave as the two threads run.
        for out in (missing_out, on_out):
            self.assertEqual(sorted(out), sorted(off_out))
            self.assertEqual(window_lines(out), window_lines(off_out))
            self.assertEqual(tracking_lines(out), tracking_lines(off_out))

        self.assertEqual([line for line in off_err if "MIDI" in line], [])
        missing = [line for line in missing_err if "MIDI" in line]
        self.assertEqual(len(missing), 1, missing_err)
        self.assertTrue(missing[0].startswith("MIDI is off: no JACK server is running and the "
                                              "ALSA sequencer cannot be opened"), missing)
        self.assertIn('MIDI out: port "Quorvel" on JACK', on_err)


WINDOW_LINES = ("44100", "Hit q to quit.")


def window_lines(lines):
    return [line for line in lines if line in WINDOW_LINES]


def tracking_lines(lines):
    return [line for line in lines if line not in WINDOW_LINES]


if __name__ == "__main__":
    harness.main()
