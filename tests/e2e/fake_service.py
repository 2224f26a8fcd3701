"""A stand-in for the hand-tracking service on a loopback port, for the whole-program tests.

In a test, on a thread of its own:

    service = fake_service.FakeService(frame_lines)   # a free port; service.url
    service.play()                                    # once the program has asked for frames

As a process of its own, so that a test can kill it (gone without a goodbye, as a crashed service
is) and start it again on the same port; it plays the performance over and over to every client
and prints "listening" once the port is open:

    python3 fake_service.py PORT PERFORMANCE.jsonl

Each client is greeted with the version message; once it has sent both requests for frames and
play() has been called, it gets a device event (streaming) and then the frames at the pace of
their timestamps; after the last frame, a device event (not streaming), or with `loop` the
performance again after one frame's pause.
"""

import asyncio
import json
import sys
import threading
import time

try:
    import websockets
except ImportError:  # pragma: no cover - depends on the machine
    print("SKIPPED: python3-websockets is not installed; scripts/deps.sh installs it", flush=True)
    sys.exit(77)

GREETING = '{"serviceVersion":"2.3.1+33747","version":6}'
REQUESTS = ['{"background":true}', '{"focused":true}']
LOOP_PAUSE = 0.01  # seconds between the last frame of a round and the first of the next


def device_event(streaming):
    return json.dumps({"event": {"type": "deviceEvent", "state": {
        "attached": True, "id": "LP0001", "streaming": streaming, "type": "Peripheral"}}})


class FakeService:
    """The service on 127.0.0.1, on a thread of its own: a free port unless `port` is given."""

    def __init__(self, frame_lines, port=0, loop=False):
        self.frame_lines = frame_lines
        self.loop = loop
        self.paths = []
        self.requests = []
        self.played = threading.Event()
        self._play = None
        self._loop = asyncio.new_event_loop()
        started = threading.Event()
        self._thread = threading.Thread(target=self._run, args=(started, port), daemon=True)
        self._thread.start()
        if not started.wait(10):
            raise AssertionError("the fake service did not start")

    def _run(self, started, port):
        asyncio.set_event_loop(self._loop)
        self._play = asyncio.Event()

        async def listen():
            # Newer websockets make the server inside a running loop only.
            return await websockets.serve(self._serve, "127.0.0.1", port, max_size=None)

        self._server = self._loop.run_until_complete(listen())
        self.port = self._server.sockets[0].getsockname()[1]
        started.set()
        self._loop.run_forever()

    async def _serve(self, connection, path=None):
        # Newer websockets keep the path with the request.
        self.paths.append(path or getattr(connection, "path", None) or connection.request.path)
        await connection.send(GREETING)
        for _ in REQUESTS:
            self.requests.append(await asyncio.wait_for(connection.recv(), 10))
        await self._play.wait()
        await connection.send(device_event(True))
        while True:
            await self._play_round(connection)
            if not self.loop:
                break
            await asyncio.sleep(LOOP_PAUSE)
        await connection.send(device_event(False))
        self.played.set()
        await connection.wait_closed()

    async def _play_round(self, connection):
        start = time.monotonic()
        first = None
        for line in self.frame_lines:
            stamp = json.loads(line)["timestamp"] / 1e6
            first = stamp if first is None else first
            delay = start + (stamp - first) - time.monotonic()
            if delay > 0:
                await asyncio.sleep(delay)
            await connection.send(line)

    @property
    def url(self):
        return f"ws://127.0.0.1:{self.port}/v6.json"

    def play(self):
        self._loop.call_soon_threadsafe(self._play.set)

    def close(self):
        async def shut():
            self._server.close()
            await self._server.wait_closed()
        asyncio.run_coroutine_threadsafe(shut(), self._loop).result(10)
        self._loop.call_soon_threadsafe(self._loop.stop)
        self._thread.join(10)


if __name__ == "__main__":
    with open(sys.argv[2]) as performance:
        lines = [line.strip() for line in performance if line.strip()]
    service = FakeService(lines, port=int(sys.argv[1]), loop=True)
    service.play()
    print("listening", flush=True)
    threading.Event().wait()
