"""The sound system and device a player chooses: the list, a choice by name, a name that fits
nothing, JACK at its server's rate and period, PipeWire through its Pulse and JACK interfaces, and
plain ALSA surviving its own underruns."""

import glob
import os
import re
import signal
import subprocess
import time
import unittest

import faultkit  # first: it sets up the harness's path and reports a missing numpy as a skip
import analysis
import harness
import numpy as np

from test_midi import start_jack  # noqa: E402

SECOND_SINK = "quorvel_second"
PIPEWIRE_SINK = "quorvel_pipewire"


def run(session, args, env):
    """The program without a display, to its end: (status, stdout, stderr)."""
    done = subprocess.run([harness.quorvel_binary(), *args], env=dict(session.base_env(), **env),
                          capture_output=True, text=True, timeout=60.0)
    return done.returncode, done.stdout, done.stderr


def start_pipewire(session):
    """A private PipeWire, as a desktop runs it (WirePlumber, the Pulse server), whose default
    sink is a null sink; the environment that points a Pulse client at it."""
    harness.require("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pw-cli",
                    "parecord")
    runtime = session.tempdir("pipewire")
    bus = "unix:path=" + os.path.join(runtime, "bus")
    env = dict(session.base_env(), XDG_RUNTIME_DIR=runtime, PIPEWIRE_RUNTIME_DIR=runtime,
               HOME=runtime, XDG_CONFIG_HOME=os.path.join(runtime, "config"),
               DBUS_SESSION_BUS_ADDRESS=bus)
    # Only the null sink: the machine's own cards and cameras stay with whatever uses them.
    for folder, settings in (("main.lua.d", "alsa v4l2 libcamera"), ("bluetooth.lua.d", "bluez")):
        os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "wireplumber", folder))
        with open(os.path.join(env["XDG_CONFIG_HOME"], "wireplumber", folder, "60-test.lua"),
                  "w") as config:
            config.writelines(f"{name}_monitor.enabled = false\n" for name in settings.split())
    # WirePlumber and the Pulse server stop without a session bus; a desktop has one.
    session.spawn(["dbus-daemon", "--session", "--nofork", "--address=" + bus], env, "dbus")
    for name in ("pipewire", "wireplumber", "pipewire-pulse"):
        time.sleep(0.5)
        session.spawn([name], env, name)
    env["PULSE_SERVER"] = "unix:" + os.path.join(runtime, "pulse", "native")
    deadline = time.monotonic() + 30.0
    while subprocess.run(["pw-cli", "create-node", "adapter",
                          f"{{ factory.name=support.null-audio-sink node.name={PIPEWIRE_SINK} "
                          f"node.description={PIPEWIRE_SINK} "
                          "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }"],
                         env=env, capture_output=True, timeout=20.0).returncode != 0 or \
            subprocess.run(["pactl", "set-default-sink", PIPEWIRE_SINK], env=env,
                           capture_output=True, timeout=20.0).returncode != 0:
        if time.monotonic() > deadline:
            raise AssertionError("PipeWire did not start")
        time.sleep(0.5)
    return env


class SoundSystemsTest(unittest.TestCase):
    def test_devices_are_listed_chosen_by_name_and_a_wrong_name_is_refused(self):
        with harness.Session(harness.artifacts_dir("sound-systems-choice")) as session:
            sound = session.sound()
            sound.pactl("load-module", "module-null-sink", f"sink_name={SECOND_SINK}",
                        f"sink_properties=device.description={SECOND_SINK}")
            status, out, err = run(session, ["--list-devices"], sound.env)
            self.assertEqual(status, 0, err)
            pulse = out.split("pulse:", 1)[1].split("alsa:", 1)[0]
            self.assertRegex(pulse, r"\n  \d+  Null Output  \(default\)\n", out)
            self.assertRegex(pulse, rf"\n  \d+  {SECOND_SINK}\n", out)

            for args, listed in ((["--audio=pulse", "--device=nosuch"], SECOND_SINK),
                                 (["--audio=nosuch"], "pulse")):
                status, out, err = run(session, args, sound.env)
                self.assertEqual(status, 2, err)
                self.assertIn(listed, err)
                self.assertEqual(err.count("\n"), 1, err)

            sinks = sound.pactl("list", "short", "sinks").stdout
            second = re.search(rf"^(\d+)\s+{SECOND_SINK}\s", sinks, re.M).group(1)
            # By a part of its name, and by the number listed (RtAudio 6's own ids are others).
            number = re.search(rf"\n  (\d+)  {SECOND_SINK}\n", pulse).group(1)
            for device in ("second", number):
                app = session.quorvel(tracking="demo", args=["--audio", "pulse"],
                                      extra_env={"QUORVEL_AUDIO_DEVICE": device})
                app.window()
                app.wait_for_line(r"^note: ", timeout=30.0)
                streams = sound.sink_inputs()
                self.assertEqual([stream["Sink"] for stream in streams], [second], streams)
                app.process.signal(signal.SIGTERM)
                app.wait_exit(20.0)

    def test_jack_plays_at_the_server_rate_into_the_system_playback_ports(self):
        with harness.Session(harness.artifacts_dir("sound-systems-jack")) as session:
            jack = start_jack(session, rate=48000, period=128)
            app = session.quorvel(tracking="demo", extra_env=jack)
            app.window()
            app.wait_for_line(r"^48000$", timeout=30.0)
            app.wait_for_line(r"^note: ", timeout=30.0)
            wanted = [rf"system:playback_{channel}\n\s+Quorvel-audio:outport {channel - 1}"
                      for channel in (1, 2)]
            # The listing client may fail to join now and then (once in ten runs here, with
            # nothing on its standard output): asked again until the connections show.
            deadline = time.monotonic() + 10.0
            while True:
                listing = subprocess.run(["jack_lsp", "-c"],
                                         env=dict(session.base_env(), **jack),
                                         capture_output=True, text=True, timeout=20.0)
                if all(re.search(ports, listing.stdout) for ports in wanted) or \
                        time.monotonic() > deadline:
                    break
                print(f"jack_lsp again: status {listing.returncode}, {listing.stderr[-500:]}",
                      flush=True)
                time.sleep(0.3)
            for ports in wanted:
                self.assertRegex(listing.stdout, ports,
                                 f"jack_lsp: status {listing.returncode}, {listing.stderr[-2000:]}")
            app.process.signal(signal.SIGTERM)

    def test_pipewire_plays_through_its_pulse_and_its_jack_interface(self):
        jack_library = glob.glob("/usr/lib/*/pipewire-0.3/jack/libjack.so.0")
        if not jack_library:
            raise harness.Skip("PipeWire's JACK library is missing (Debian package pipewire-jack)")
        with harness.Session(harness.artifacts_dir("sound-systems-pipewire")) as session:
            pipewire = start_pipewire(session)
            # As pw-jack starts a JACK program: PipeWire's libjack in place of JACK's own.
            as_jack = {"LD_LIBRARY_PATH": os.path.dirname(jack_library[0])}
            for interface, extra in (("pulse", {}), ("jack", as_jack)):
                with self.subTest(interface=interface):
                    env = {name: pipewire[name] for name in
                           ("XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR", "PULSE_SERVER")}
                    app = session.quorvel(tracking="demo", extra_env=dict(env, **extra))
                    app.window()
                    app.wait_for_line(r"^note: ", timeout=30.0)
                    heard = os.path.join(session.tempdir("rec"), interface + ".raw")
                    recording = session.spawn(
                        ["parecord", f"--device={PIPEWIRE_SINK}.monitor", "--raw",
                         "--format=float32le", "--rate=48000", "--channels=2", heard],
                        pipewire, "parecord")
                    time.sleep(3.0)
                    ports = subprocess.run(["jack_lsp", "-c"], env=dict(pipewire, **as_jack),
                                           capture_output=True, text=True, timeout=20.0).stdout
                    streams = subprocess.run(["pactl", "list", "sink-inputs"], env=pipewire,
                                             capture_output=True, text=True, timeout=20.0).stdout
                    recording.signal(signal.SIGINT)
                    recording.wait_exit(10.0)
                    app.process.signal(signal.SIGTERM)
                    self.assertEqual(app.wait_exit(20.0), -signal.SIGTERM,
                                     app.text("err")[-3000:])
                    if interface == "pulse":
                        self.assertIn('application.name = "Quorvel"', streams)
                    else:
                        for channel in ("FL", "FR"):
                            self.assertRegex(ports, rf"{PIPEWIRE_SINK}:playback_{channel}\n"
                                             r"(\s+\S+\n)*\s+Quorvel-audio:outport", ports)
                    samples = np.fromfile(heard, "<f4")
                    self.assertGreater(float(abs(samples).max(initial=0.0)), 0.01, "silence")
            # A sink with no description, which the audio library's Pulse backend dies on.
            subprocess.run(["pw-cli", "create-node", "adapter",
                            "{ factory.name=support.null-audio-sink node.name=undescribed "
                            "media.class=Audio/Sink object.linger=true }"],
                           env=pipewire, capture_output=True, timeout=20.0, check=True)
            deadline = time.monotonic() + 10.0
            while "undescribed" not in subprocess.run(
                    ["pactl", "list", "short", "sinks"], env=pipewire, capture_output=True,
                    text=True, timeout=20.0).stdout and time.monotonic() < deadline:
                time.sleep(0.1)
            status, out, err = run(session, ["--list-devices"], pipewire)
            self.assertEqual(status, 0, err)
            self.assertIn('pulse: not usable here: its device "undescribed" has no description',
                          out)

    def test_alsa_plays_on_through_underruns_and_counts_them_once_at_quit(self):
        with harness.Session(harness.artifacts_dir("sound-systems-alsa")) as session:
            sound = session.sound()
            home = session.tempdir("home")
            # Plain ALSA whose default device plays into the null sink, reporting underruns.
            with open(os.path.join(home, ".asoundrc"), "w") as conf:
                conf.write("pcm.!default { type pulse handle_underrun true }\n"
                           "ctl.!default { type pulse }\n")
            path = os.path.join(session.tempdir("perf"), "pluck.jsonl")
            faultkit.plucking([0], 1, 0.5, path)
            app = session.quorvel(tracking=f"replay:{path},loop",
                                  extra_env={"QUORVEL_AUDIO": "alsa", "HOME": home})
            window = app.window()
            app.wait_for_line(r"^note: 32 ", timeout=30.0)
            # A program held up is what a loaded machine does to the audio thread.
            for _ in range(5):
                app.process.signal(signal.SIGSTOP)
                time.sleep(1.0)
                app.process.signal(signal.SIGCONT)
                time.sleep(0.5)
            recording = sound.record()
            time.sleep(2.0)
            mono = analysis.without_gaps(recording.stop()[:, 0])
            onsets = analysis.find_onsets(mono, min_gap=0.3)
            self.assertGreater(float(abs(mono).max(initial=0.0)), 0.01, "silence")
            harness.measured("alsa through underruns: onsets", len(onsets))
            self.assertGreaterEqual(len(onsets), 2, f"plucks heard at {onsets} s")
            status, _ = faultkit.quit_time(app, window)
        self.assertEqual(status, 0, app.text("err")[-3000:])
        errors = app.lines("err")
        self.assertFalse([line for line in errors if "audio stream lost" in line], errors)
        counts = [line for line in errors if line.startswith("audio output underflows: ")]
        self.assertEqual(len(counts), 1, errors)
        self.assertGreaterEqual(int(counts[0].split(": ")[1]), 1, errors)


if __name__ == "__main__":
    harness.main()
