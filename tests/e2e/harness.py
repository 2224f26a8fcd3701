"""Runs the real instrument the way a person meets it: on a display, with a sound server.

Everything a whole-program test needs is started here and stopped again, also when the test
fails or is interrupted (children die with the test, even on a ctest timeout); the display and
sound server are started once per test process (see Session):

    with harness.Session(harness.artifacts_dir("my-test")) as session:
        display = session.display()        # Xvfb on a free display number
        sound = session.sound()            # PulseAudio, its default sink a null sink
        recording = session.record()       # parecord on the null sink's monitor
        app = session.quorvel(tracking="replay:" + path)   # QUORVEL_BINARY, that display/sound
        window = app.window()              # waits for the window titled "Quorvel"
        window.keys("a", "a", "3")         # typed with xdotool (XTEST) into the focused window
        image = window.screenshot()        # Image: .pixels rows from the top, .save_png()
        app.wait_for_line(r"^note: 32 ")   # stdout; which="err" for standard error
        window.keys("q")
        status = app.wait_exit()
        samples = recording.stop()         # frames x 2, float32, exactly what was played

Also: session.spawn() for any other process, session.tempdir(), app.lines(), app.line_count(),
app.timed_lines(), window.geometry(), window.open_menu() / click_menu_entry(),
display.screenshot() (whole screen), sound.sink_inputs() (pactl's view of the streams),
sound.kill() / sound.restart(). A failing test's temporary files (screenshots, recordings,
performances) are kept under $QUORVEL_E2E_ARTIFACTS when a Session is given artifacts_dir().

A tool that is not installed skips the case (exit status 77 when every case is skipped) with a
line naming the tool and its Debian package; scripts/deps.sh installs them all.
"""

import atexit
import contextlib
import ctypes
import functools
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

try:
    import numpy as np
except ImportError:  # pragma: no cover - depends on the machine
    print("SKIPPED: python3-numpy is not installed; scripts/deps.sh installs it", flush=True)
    sys.exit(77)

SKIPPED = 77

# Debian package of each outside tool the harness runs.
TOOLS = {
    "Xvfb": "xvfb",
    "xdotool": "xdotool",
    "xwd": "x11-apps",
    "pulseaudio": "pulseaudio",
    "pactl": "pulseaudio-utils",
    "parecord": "pulseaudio-utils",
    "paplay": "pulseaudio-utils",
    "pacat": "pulseaudio-utils",
    "sox": "sox",
}

SINK = "quorvel_e2e"
RATE = 44100
KEEP_ALIVE = "quorvel-e2e-keep-alive"
KEEP_ALIVE_LATENCY_MS = 100
MAX_KEPT_LINES = 200000  # per output stream of a process


class Skip(unittest.SkipTest):
    """The test cannot run here: a tool is missing."""


def require(*tools):
    for tool in tools:
        if shutil.which(tool) is None:
            raise Skip(f"{tool} is not installed (Debian package {TOOLS.get(tool, tool)}); "
                       "scripts/deps.sh installs it")


def main(test_module_name="__main__"):
    """Runs a test module's unittest cases; a run whose every case was skipped ends with the
    status ctest counts as skipped."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        program = unittest.main(module=test_module_name, exit=False, verbosity=2)
    except Skip as skip:
        print(f"SKIPPED: {skip}", flush=True)
        sys.exit(SKIPPED)
    result = program.result
    skips = [reason for _, reason in result.skipped]
    if skips and result.testsRun == len(skips):
        print("SKIPPED: " + "; ".join(sorted(set(skips))), flush=True)
        sys.exit(SKIPPED)
    sys.exit(0 if result.wasSuccessful() else 1)


def _die_with_parent():
    # A child must not outlive the test, even when ctest kills the test on a timeout.
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGKILL)


class Process:
    """A child process whose standard output and error are collected line by line."""

    def __init__(self, argv, env, name, pass_fds=(), cwd=None, stdout=None):
        """stdout: a descriptor to write standard output to instead of a pipe read here."""
        self.name = name
        self.argv = argv
        self._lines = {"out": [], "err": []}
        self._dropped = {"out": 0, "err": 0}
        self._changed = threading.Condition()
        self._popen = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE if stdout is None else stdout,
                                       stderr=subprocess.PIPE,
                                       pass_fds=pass_fds, start_new_session=True,
                                       preexec_fn=_die_with_parent)
        self.pid = self._popen.pid
        streams = [(self._popen.stdout, "out"), (self._popen.stderr, "err")]
        self._readers = [threading.Thread(target=self._read, args=stream, daemon=True)
                         for stream in streams if stream[0] is not None]
        for reader in self._readers:
            reader.start()

    def _read(self, stream, which):
        # Partial lines count too: a line only ends when its newline arrives.
        pending = b""
        while True:
            chunk = os.read(stream.fileno(), 65536)
            if not chunk:
                break
            pending += chunk
            *complete, pending = pending.split(b"\n")
            with self._changed:
                kept = self._lines[which]
                for line in complete:
                    kept.append((time.monotonic(), line.decode("utf-8", "replace")))
                # A program that floods its output must not exhaust the test's memory.
                if len(kept) > MAX_KEPT_LINES:
                    self._dropped[which] += len(kept) - MAX_KEPT_LINES // 2
                    del kept[: len(kept) - MAX_KEPT_LINES // 2]
                self._changed.notify_all()
        with self._changed:
            if pending:
                self._lines[which].append((time.monotonic(), pending.decode("utf-8", "replace")))
            self._lines[which].append((time.monotonic(), None))  # end of stream
            self._changed.notify_all()
        stream.close()

    def lines(self, which="out"):
        with self._changed:
            return [text for _, text in self._lines[which] if text is not None]

    def line_count(self, which="out"):
        """Every line written so far, also those no longer kept."""
        with self._changed:
            return self._dropped[which] + sum(1 for _, text in self._lines[which]
                                              if text is not None)

    def timed_lines(self, which="out"):
        with self._changed:
            return [(when, text) for when, text in self._lines[which] if text is not None]

    def text(self, which="out"):
        return "".join(line + "\n" for line in self.lines(which))

    def wait_for_line(self, pattern, timeout=20.0, which="out", count=1):
        """Waits until `count` lines match `pattern`; returns the last match's (time, match)."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                found = [(when, regex.search(text)) for when, text in self._lines[which]
                         if text is not None]
                found = [(when, match) for when, match in found if match]
                if len(found) >= count:
                    return found[count - 1]
                ended = any(text is None for _, text in self._lines[which])
                left = deadline - time.monotonic()
                if ended or left <= 0:
                    raise AssertionError(
                        f"{self.name}: no {count}x /{pattern}/ on std{which} within {timeout} s "
                        f"({'stream ended' if ended else 'timed out'}); it wrote:\n"
                        + self.text(which)[-3000:] + "\nstderr:\n" + self.text("err")[-3000:])
                self._changed.wait(min(left, 0.2))

    def alive(self):
        return self._popen.poll() is None

    def wait_exit(self, timeout=15.0):
        """The exit status (negative for a signal); fails the test if it does not end in time."""
        try:
            status = self._popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.name} still runs {timeout} s later; stdout:\n"
                                 + self.text()[-3000:] + "\nstderr:\n" + self.text("err")[-3000:])
        for reader in self._readers:
            reader.join(5.0)
        return status

    def signal(self, number):
        if self.alive():
            os.kill(self.pid, number)

    def stop(self, grace=3.0):
        """Ends the process (politely, then not), and every process of its session."""
        if self._popen.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.pid, signal.SIGTERM)
            try:
                self._popen.wait(grace)
            except subprocess.TimeoutExpired:
                pass
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(self.pid, signal.SIGKILL)
        with contextlib.suppress(subprocess.TimeoutExpired):
            self._popen.wait(grace)
        for reader in self._readers:
            reader.join(2.0)


class Image:
    """A screenshot: `pixels` is a height x width x 3 array of 0..255, row 0 at the top."""

    def __init__(self, pixels, origin=(0, 0)):
        self.pixels = pixels
        self.height, self.width = pixels.shape[:2]
        # Window coordinates of the top-left pixel: a window partly off the screen is captured
        # only where it is on it.
        self.origin = origin

    def save_png(self, path):
        rows = b"".join(b"\x00" + bytes(row) for row in self.pixels.astype(np.uint8).reshape(
            self.height, self.width * 3))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            out.write(chunk(b"IDAT", zlib.compress(rows, 6)))
            out.write(chunk(b"IEND", b""))


def parse_xwd(data):
    """Decodes an xwd dump (ZPixmap, 24 or 32 bits per pixel) into an Image."""
    header = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, _depth, width, height, _xoffset, byte_order,
     _bitmap_unit, _bit_order, _pad, bits_per_pixel, bytes_per_line, _visual, red_mask,
     green_mask, blue_mask, _bits_per_rgb, _entries, ncolors) = header[:20]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise ValueError(f"xwd: unsupported format {pixmap_format}, {bits_per_pixel} bpp")
    start = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    raw = np.frombuffer(data, dtype=np.uint8, count=bytes_per_line * height, offset=start)
    raw = raw.reshape(height, bytes_per_line)[:, : width * step].reshape(height, width, step)
    raw = raw.astype(np.uint32)
    if byte_order == 0:  # LSBFirst
        value = sum(raw[:, :, k] << (8 * k) for k in range(step))
    else:
        value = sum(raw[:, :, k] << (8 * (step - 1 - k)) for k in range(step))

    def channel(mask):
        shift = (mask & -mask).bit_length() - 1
        return ((value & mask) >> shift).astype(np.uint8)

    return Image(np.stack([channel(red_mask), channel(green_mask), channel(blue_mask)], axis=2))


class Display:
    """A private X server (Xvfb) on a display number it picks itself."""

    def __init__(self, session, width=1280, height=1024):
        require("Xvfb", "xdotool", "xwd")
        self.session = session
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        self.process = Process(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
                               session.base_env(), "Xvfb", pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30.0
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise AssertionError("Xvfb did not start within 30 s: "
                                     + self.process.text("err")[-2000:])
            chunk = os.read(read_end, 64)
            if not chunk:
                raise AssertionError("Xvfb ended at start: " + self.process.text("err")[-2000:])
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()

    @property
    def env(self):
        return {"DISPLAY": self.name}

    def run(self, *argv, check=True, timeout=20.0):
        env = dict(self.session.base_env(), **self.env)
        done = subprocess.run(list(argv), env=env, capture_output=True, text=True, timeout=timeout)
        if check and done.returncode != 0:
            raise AssertionError(f"{' '.join(argv)} failed ({done.returncode}): {done.stderr}")
        return done

    def find_window(self, title, timeout=30.0, process=None):
        """The id of the first mapped window whose title is exactly `title`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if process is not None and not process.alive():
                raise AssertionError(f"{process.name} ended before its window showed; stdout:\n"
                                     + process.text()[-2000:] + "\nstderr:\n"
                                     + process.text("err")[-2000:])
            found = self.run("xdotool", "search", "--onlyvisible", "--name",
                             "^" + re.escape(title) + "$", check=False)
            ids = found.stdout.split()
            if ids:
                return Window(self, int(ids[0]))
            time.sleep(0.1)
        raise AssertionError(f"no window titled {title!r} within {timeout} s")

    def screenshot(self):
        """The whole screen."""
        done = subprocess.run(["xwd", "-silent", "-root"], env=dict(self.session.base_env(),
                                                                     **self.env),
                              capture_output=True, timeout=20.0)
        if done.returncode != 0:
            raise AssertionError(f"xwd failed: {done.stderr.decode(errors='replace')}")
        return parse_xwd(done.stdout)

    def windows(self, title):
        found = self.run("xdotool", "search", "--onlyvisible", "--name",
                         "^" + re.escape(title) + "$", check=False)
        return [int(word) for word in found.stdout.split()]


class Window:
    def __init__(self, display, window_id):
        self.display = display
        self.id = window_id

    def geometry(self):
        """(x, y, width, height) of the window on the screen."""
        done = self.display.run("xdotool", "getwindowgeometry", "--shell", str(self.id))
        values = dict(line.split("=", 1) for line in done.stdout.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def wait_for_size(self, width, height, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            size = self.geometry()[2:]
            if size == (width, height) or time.monotonic() > deadline:
                return size
            time.sleep(0.1)

    def keys(self, *names, delay_ms=30):
        """Types keys (xdotool key names: "a", "A", "3", "q") into the window, as a person would:
        it gets the keyboard focus and the keys go through the X test extension."""
        self.display.run("xdotool", "windowfocus", "--sync", str(self.id))
        self.display.run("xdotool", "key", "--clearmodifiers", "--delay", str(delay_ms), *names)

    def open_menu(self, x=200, y=150, entry_count=3):
        """Clicks the right button at (x, y) in the window, which opens the pop-up menu and
        leaves it open; returns the screen positions of its entries, top to bottom."""
        self.display.run("xdotool", "mousemove", "--window", str(self.id), str(x), str(y))
        self.display.run("xdotool", "click", "3")
        left, top, _, _ = self.geometry()
        # freeglut shows the menu as a window of its own with its corner at the pointer, its
        # entries of equal height from top to bottom.
        deadline = time.monotonic() + 10.0
        while time.monotonic() < deadline:
            for menu_id in self.display.windows("freeglut menu"):
                menu = Window(self.display, menu_id)
                menu_x, menu_y, width, height = menu.geometry()
                if abs(menu_x - (left + x)) <= 2 and abs(menu_y - (top + y)) <= 2:
                    step = height / entry_count
                    return [(menu_x + width // 2, int(menu_y + step * (k + 0.5)))
                            for k in range(entry_count)]
            time.sleep(0.1)
        return []

    def click_menu_entry(self, entries, index):
        """Clicks an entry of the menu opened by open_menu."""
        x, y = entries[index]
        self.display.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.3)
        self.display.run("xdotool", "click", "3")

    def screenshot(self):
        """What the window shows on the screen (only its on-screen part)."""
        x, y, _, _ = self.geometry()
        done = subprocess.run(["xwd", "-silent", "-id", str(self.id)],
                              env=dict(self.display.session.base_env(), **self.display.env),
                              capture_output=True, timeout=20.0)
        if done.returncode != 0:
            raise AssertionError(f"xwd failed: {done.stderr.decode(errors='replace')}")
        image = parse_xwd(done.stdout)
        image.origin = (max(0, -x), max(0, -y))
        return image

    def settled_screenshot(self, wait=0.5):
        """A screenshot after the program has had time to redraw (the timer draws every 16 ms)."""
        time.sleep(wait)
        return self.screenshot()


class SoundServer:
    """A private PulseAudio server whose only sink, the default, is a null sink at 44100 Hz,
    2 channels of float32, so a recording of its monitor holds exactly what was played."""

    def __init__(self, session):
        require("pulseaudio", "pactl", "parecord", "pacat")
        self.session = session
        self.user = session  # the session whose test uses it now
        self.changed = False  # killed, restarted or given modules by a test
        self.dir = session.tempdir("pulse")
        self.socket = os.path.join(self.dir, "native")
        self.client_config = os.path.join(self.dir, "client.conf")
        with open(self.client_config, "w") as conf:
            conf.write("autospawn = no\n")
        runtime = os.path.join(self.dir, "runtime")
        os.makedirs(runtime, mode=0o700)
        self._env = dict(session.base_env(), HOME=self.dir, XDG_RUNTIME_DIR=runtime,
                         XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                         PULSE_RUNTIME_PATH=runtime, DBUS_SESSION_BUS_ADDRESS="disabled:")
        self._env.pop("DISPLAY", None)
        self._start()

    def _start(self):
        # -n: no default script, so nothing but these two modules (no real card, no X11 bits).
        # Real-time scheduling for the sink's thread, as a desktop gives its sound server (here
        # we run as root, elsewhere RLIMIT_RTPRIO or rtkit grants it): a busy machine must not
        # starve the server, or the tests measure the machine's load instead of the program.
        self.process = Process(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disable-shm=yes", "--log-target=stderr", "--realtime=yes", "--high-priority=yes",
             "-L", f"module-null-sink sink_name={SINK} format=float32le rate={RATE} channels=2",
             "-L", f"module-native-protocol-unix auth-anonymous=1 socket={self.socket}"],
            self._env, "pulseaudio")
        self.session._track(self.process)
        deadline = time.monotonic() + 30.0
        while True:
            if not self.process.alive():
                raise AssertionError("pulseaudio ended at start: "
                                     + self.process.text("err")[-2000:])
            if os.path.exists(self.socket) and self.pactl("info", check=False).returncode == 0:
                break
            if time.monotonic() > deadline:
                raise AssertionError("pulseaudio did not answer within 30 s: "
                                     + self.process.text("err")[-2000:])
            time.sleep(0.1)
        self.pactl("set-default-sink", SINK)
        if not self.realtime_threads():
            print("harness: the sound server got no real-time priority; under load its "
                  "underruns measure the machine", file=sys.stderr, flush=True)
        self._keep_running()

    def realtime_threads(self):
        """Names of the server's threads that run with a real-time policy (the null sink's)."""
        names = []
        for tid in os.listdir(f"/proc/{self.process.pid}/task"):
            with contextlib.suppress(OSError):
                policy = os.sched_getscheduler(int(tid)) & ~getattr(os, "SCHED_RESET_ON_FORK", 0)
                if policy in (os.SCHED_FIFO, os.SCHED_RR):
                    with open(f"/proc/{self.process.pid}/task/{tid}/comm") as comm:
                        names.append(comm.read().strip())
        return names

    def restart(self):
        """A fresh server on the same socket after kill(), as when a desktop's sound server is
        started again."""
        if self.process.alive():
            self.kill()
        self.changed = True
        with contextlib.suppress(FileNotFoundError):
            os.unlink(self.socket)
        self._start()

    def _keep_running(self):
        """Makes the null sink run as a sound card does, before any test stream comes.

        An idle null sink sleeps in 2-second blocks and only takes up a new stream's latency
        when it wakes, so the first stream after a pause would wait up to 2 s for its first
        block: a property of the null sink, not of a device. A stream of silence that asks for
        a longer latency than any test stream keeps it awake without lowering what the
        program's own stream gets (the sink serves the lowest request).
        """
        env = dict(self.session.base_env(), **self.env)
        self.keep_alive = self.session.spawn(
            ["pacat", "--playback", "--raw", "--format=float32le", f"--rate={RATE}",
             "--channels=2", f"--latency-msec={KEEP_ALIVE_LATENCY_MS}",
             f"--client-name={KEEP_ALIVE}", f"--stream-name={KEEP_ALIVE}", "/dev/zero"],
            env, "pacat")
        # Awake once the monitor has delivered a tenth of a second.
        probe = Recording(self)
        try:
            deadline = time.monotonic() + 15.0
            while not (os.path.exists(probe.path) and os.path.getsize(probe.path) >= RATE * 8 // 10):
                if time.monotonic() > deadline:
                    raise AssertionError("the null sink did not start running")
                time.sleep(0.05)
        finally:
            probe.stop()

    @property
    def env(self):
        """What a client needs to find this server, and only this one."""
        return {"PULSE_SERVER": "unix:" + self.socket, "PULSE_CLIENTCONFIG": self.client_config}

    def pactl(self, *args, check=True):
        env = dict(self.session.base_env(), **self.env)
        self.changed |= args[:1] in (("load-module",), ("unload-module",))
        done = subprocess.run(["pactl", *args], env=env, capture_output=True, text=True,
                              timeout=20.0)
        if check and done.returncode != 0:
            raise AssertionError(f"pactl {' '.join(args)} failed: {done.stderr}")
        return done

    def sink_inputs(self):
        """The playing streams but the harness's own, each a dict of pactl's fields
        ("Buffer Latency", "Sink Latency", ...) and properties ("application.process.binary")."""
        text = self.pactl("list", "sink-inputs").stdout
        streams = []
        for block in re.split(r"\n(?=Sink Input #)", text.strip()):
            if not block.startswith("Sink Input #"):
                continue
            fields = {"index": int(block.split("#", 1)[1].split()[0])}
            for line in block.splitlines()[1:]:
                if line.startswith("\t\t") and " = " in line:
                    key, value = line.strip().split(" = ", 1)
                    fields[key] = value.strip('"')
                elif ":" in line and line.startswith("\t") and not line.startswith("\t\t"):
                    key, value = line.strip().split(":", 1)
                    fields[key.strip()] = value.strip()
            if fields.get("application.name") != KEEP_ALIVE:
                streams.append(fields)
        return streams

    def record(self):
        return Recording(self)

    def kill(self):
        """Ends the server at once, as a crash would."""
        self.changed = True
        self.process.signal(signal.SIGKILL)
        self.process.wait_exit(10.0)


class Recording:
    """parecord on the null sink's monitor, raw float32 stereo at 44100 Hz."""

    def __init__(self, server):
        self.server = server
        self.path = os.path.join(server.user.tempdir("rec"), "monitor.raw")
        env = dict(server.session.base_env(), **server.env)
        self.process = Process(["parecord", f"--device={SINK}.monitor", "--raw",
                                "--format=float32le", f"--rate={RATE}", "--channels=2",
                                "--latency-msec=10", self.path], env, "parecord")
        self.started = time.monotonic()
        # The stream exists once pulse lists it; only then is nothing played lost.
        deadline = time.monotonic() + 15.0
        while not server.pactl("list", "short", "source-outputs").stdout.strip():
            if time.monotonic() > deadline or not self.process.alive():
                raise AssertionError("parecord did not start: " + self.process.text("err"))
            time.sleep(0.05)

    def stop(self):
        """Stops recording; returns frames x 2 float32 samples."""
        self.process.signal(signal.SIGINT)
        self.process.wait_exit(10.0)
        data = b""
        if os.path.exists(self.path):
            with open(self.path, "rb") as raw:
                data = raw.read()
        usable = len(data) // 8 * 8
        return np.frombuffer(data[:usable], dtype="<f4").reshape(-1, 2)


def clear_stale_jack_database():
    """JACK 2 clients share a database in /dev/shm/jack_db-UID, and a client killed while making it
    leaves it broken: every later JACK client of the user then dies of SIGBUS. Its server removes
    it when it ends; with no server of ours running, it can go. Only the tests that start JACK
    servers call it, and they never run at once (RESOURCE_LOCK jack-clients): another test's
    server starting while this looks would lose its database."""
    uid = os.getuid()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as stat:
                head, tail = stat.read().rsplit(")", 1)
            name, state = head.split("(", 1)[1], tail.split()[0]
            # A killed server nobody reaped (a zombie) holds no database.
            if name in ("jackd", "jackdbus") and state != "Z" and os.stat(f"/proc/{pid}").st_uid == uid:
                return
        except OSError:
            continue
    shutil.rmtree(f"/dev/shm/jack_db-{uid}", ignore_errors=True)


class Session(contextlib.AbstractContextManager):
    """Owns every process and temporary directory of one test; closing it stops them all.

    The display and the sound server are the test process's own, shared by its sessions one after
    another (starting them costs seconds): a session ends with none of its windows or streams
    left on them, and a sound server a test killed, restarted or gave modules is not passed on.
    private=True gives the session servers of its own."""

    _shared = None  # the session that holds the shared display and sound server

    def __init__(self, keep_dir=None, private=False):
        self._stack = contextlib.ExitStack()
        self._processes = []
        self.root = tempfile.mkdtemp(prefix="quorvel-e2e-")
        self._display = None
        self._sound = None
        self.keep_dir = keep_dir
        self._private = private

    @classmethod
    def _servers(cls):
        if cls._shared is None:
            cls._shared = Session(private=True)
            atexit.register(cls._shared.__exit__, None, None, None)
        return cls._shared

    def base_env(self):
        """The test's own environment without any display, sound server or tracking choice."""
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "PULSE_SINK", "PULSE_SOURCE",
                     "QUORVEL_TRACKING", "XAUTHORITY", "JACK_DEFAULT_SERVER"):
            env.pop(name, None)
        env.setdefault("HOME", self.root)
        return env

    def tempdir(self, name):
        path = tempfile.mkdtemp(prefix=name + "-", dir=self.root)
        return path

    def _track(self, process):
        self._processes.append(process)
        return process

    def display(self, **kwargs):
        if self._display is None:
            if self._private or kwargs:
                self._display = Display(self, **kwargs)
                self._track(self._display.process)
            else:
                self._display = self._servers().display()
        return self._display

    def sound(self):
        if self._sound is None:
            if self._private:
                self._sound = SoundServer(self)
            else:
                self._sound = self._servers().sound()
            self._sound.user = self
        return self._sound

    def _hand_back(self):
        """Leaves the shared servers as the next session must find them."""
        servers = Session._shared
        if servers is None:
            return
        if self._display is not None and self._display is servers._display:
            deadline = time.monotonic() + 10.0
            while self._display.windows("Quorvel") and time.monotonic() < deadline:
                time.sleep(0.05)
        if self._sound is not None and self._sound is servers._sound:
            sound, self._sound.user = self._sound, servers
            if sound.changed or not sound.process.alive():
                servers._sound = None
                for process in (sound.keep_alive, sound.process):
                    process.stop()
            else:
                deadline = time.monotonic() + 10.0
                while sound.sink_inputs() and time.monotonic() < deadline:
                    time.sleep(0.05)

    def record(self):
        recording = self.sound().record()
        self._track(recording.process)
        return recording

    def spawn(self, argv, env, name):
        return self._track(Process(argv, env, name))

    def quorvel(self, binary=None, tracking="none", extra_env=None, with_display=True,
                with_sound=True, args=(), stdout=None):
        """Starts the instrument with the display and sound server of this session; its standard
        output goes to descriptor `stdout` if one is given."""
        binary = binary or quorvel_binary()
        env = self.base_env()
        if with_display:
            env.update(self.display().env)
        if with_sound:
            env.update(self.sound().env)
        if tracking is not None:
            env["QUORVEL_TRACKING"] = tracking
        # Mesa draws in software under Xvfb; one thread keeps frames cheap on a small machine.
        env.setdefault("LIBGL_ALWAYS_SOFTWARE", "1")
        env.setdefault("LP_NUM_THREADS", "0")
        sanitizer_settings(env, binary)
        env.update(extra_env or {})
        return Quorvel(self._track(Process([binary, *args], env, "quorvel", stdout=stdout)), self)

    def __exit__(self, *exc):
        # Stop the program first, then what it used, in reverse order of starting.
        for process in reversed(self._processes):
            process.stop()
        if not self._private:
            self._hand_back()
        self._stack.close()
        if exc[0] is not None and self.keep_dir:
            shutil.copytree(self.root, self.keep_dir, dirs_exist_ok=True)
            print(f"artifacts kept in {self.keep_dir}", file=sys.stderr)
        shutil.rmtree(self.root, ignore_errors=True)
        return False


class Quorvel:
    """The running instrument: its output lines, its window, its end."""

    def __init__(self, process, session):
        self.process = process
        self.session = session

    def __getattr__(self, name):
        return getattr(self.process, name)

    def window(self, timeout=30.0):
        return self.session.display().find_window("Quorvel", timeout, process=self.process)

    def plucks(self):
        """Its pluck lines so far, in order: "trig" and "note: N freq: F"."""
        return [line for line in self.lines() if line == "trig" or line.startswith("note: ")]

    def notes(self):
        """The notes it has played so far, as note numbers."""
        return [int(line.split()[1]) for line in self.lines() if line.startswith("note: ")]


def sanitizer_settings(env, binary=None):
    """For a sanitizer build of the program: full stacks for leaks, so that what the libraries
    under it keep until exit (lsan.supp) is told apart from a leak of our own; and the races
    ThreadSanitizer sees inside uninstrumented libraries (tsan.supp) set aside. Under ASan, the
    software renderer without a code generator: llvmpipe registers the code it generates with the
    unwinder while holding the unwinder's lock, and ASan's full stacks on malloc then wait for
    that lock forever."""
    here = os.path.dirname(os.path.abspath(__file__))
    if binary is not None and _links_asan(binary):
        env.setdefault("GALLIUM_DRIVER", "softpipe")
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                 "fast_unwind_on_malloc=0"]))
    env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS"),
                                                 "suppressions=" + os.path.join(here, "lsan.supp"),
                                                 "print_suppressions=0"]))
    env["TSAN_OPTIONS"] = ":".join(filter(None, [env.get("TSAN_OPTIONS"),
                                                 "suppressions=" + os.path.join(here, "tsan.supp"),
                                                 "print_suppressions=0"]))
    return env


@functools.lru_cache(maxsize=None)
def _links_asan(binary):
    with open(binary, "rb") as program:
        return b"libasan.so" in program.read()


def quorvel_binary():
    binary = os.environ.get("QUORVEL_BINARY")
    if not binary or not os.access(binary, os.X_OK):
        raise AssertionError(f"QUORVEL_BINARY does not name the built program: {binary!r}")
    return binary


def example(name):
    """A recorded performance shipped in examples/."""
    return os.path.join(os.environ["QUORVEL_SOURCE_DIR"], "examples", name)


def measured(name, value):
    """Notes a count or margin a check stands on, in $QUORVEL_E2E_MEASURES if that is set: many
    runs' notes give the spread that the check's bound is taken from."""
    path = os.environ.get("QUORVEL_E2E_MEASURES")
    if path:
        with open(path, "a", encoding="utf-8") as notes:
            notes.write(f"{name} {value}\n")


def artifacts_dir(test_name):
    """Where a failing test leaves its screenshots, recordings and logs, if a place was given."""
    base = os.environ.get("QUORVEL_E2E_ARTIFACTS")
    return os.path.join(base, test_name) if base else None
