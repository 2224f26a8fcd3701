"""A machine with no sound at all: no sound server, no sound card, no JACK server.

RtAudio picks its host interface by asking each compiled one (JACK, PulseAudio, ALSA) for
devices: JACK finds no server (it is never started for us), PulseAudio cannot connect (no
server, autospawn off), ALSA finds no card. On a machine that has a card, /dev/snd is hidden
for the program in a mount namespace of its own (needs root); where that cannot be done the
test is skipped, because the machine then does have an audio device.
"""

import glob
import os
import shutil
import subprocess
import time
import unittest

import harness  # first: it reports a missing numpy as a skip


def soundless_env(session):
    """The environment of a program on a machine where no sound server runs."""
    env = dict(session.base_env(), **session.display().env)
    nowhere = session.tempdir("nosound")
    client_config = os.path.join(nowhere, "client.conf")
    with open(client_config, "w") as conf:
        conf.write("autospawn = no\n")
    env.update({
        "PULSE_SERVER": "unix:" + os.path.join(nowhere, "no-such-socket"),
        "PULSE_CLIENTCONFIG": client_config,
        "JACK_NO_START_SERVER": "1",
        "JACK_DEFAULT_SERVER": "quorvel-e2e-absent-" + str(os.getpid()),
        "QUORVEL_TRACKING": "none",
    })
    return env


def without_sound_cards(argv):
    """argv run where no ALSA card can be seen."""
    if not glob.glob("/dev/snd/controlC*"):
        return argv
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        raise harness.Skip("this machine has a sound card (/dev/snd) and hiding it needs root "
                           "and unshare")
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount -t tmpfs none /dev/snd && exec "$@"', "sh", *argv]


class NoAudioDeviceTest(unittest.TestCase):
    def test_reports_no_device_and_exits_1_before_any_window(self):
        with harness.Session(harness.artifacts_dir("no-audio")) as session:
            display = session.display()
            argv = without_sound_cards([harness.quorvel_binary()])
            app = session.spawn(argv, soundless_env(session), "quorvel")
            status = app.wait_exit(30.0)
            # Give a window that might have been opened a moment to show.
            time.sleep(0.3)
            windows = display.windows("Quorvel")
        self.assertEqual(status, 1, app.text("err"))
        self.assertEqual(app.text(), "\nNo audio devices found!\n")
        self.assertEqual(windows, [])


if __name__ == "__main__":
    harness.main()
