"""A stand-in for the hand-tracking service, run as a process of its own so that a test can kill
it (gone without a goodbye, as a crashed service is) and start it again on the same port.

    python3 fake_service.py PORT PERFORMANCE.jsonl

Each client is greeted with the version message; once it has asked for frames ({"background":
true} and {"focused":true}) it gets a device event (streaming) and then the performance's frames
at their own pace, over and over. Prints "listening" once the port is open.
"""

import asyncio
import json
import sys
import time

try:
    import websockets
except ImportError:  # pragma: no cover - depends on the machine
    print("SKIPPED: python3-websockets is not installed; scripts/deps.sh installs it", flush=True)
    sys.exit(77)

GREETING = '{"serviceVersion":"2.3.1+33747","version":6}'
STREAMING = json.dumps({"event": {"type": "deviceEvent", "state": {
    "attached": True, "id": "LP0001", "streaming": True, "type": "Peripheral"}}})


async def serve(connection, frames):
    await connection.send(GREETING)
    for _ in range(2):
        await connection.recv()
    await connection.send(STREAMING)
    while True:
        start = time.monotonic()
        for seconds, line in frames:
            delay = start + seconds - time.monotonic()
            if delay > 0:
                await asyncio.sleep(delay)
            await connection.send(line)


async def main(port, path):
    with open(path) as performance:
        lines = [line.strip() for line in performance if line.strip()]
    first = json.loads(lines[0])["timestamp"]
    frames = [((json.loads(line)["timestamp"] - first) / 1e6, line) for line in lines]
    # A round of the performance, and a frame's pause before the next round starts.
    frames.append((frames[-1][0] + 0.01, lines[-1]))
    async with websockets.serve(lambda connection, *_: serve(connection, frames), "127.0.0.1",
                                port):
        print("listening", flush=True)
        await asyncio.Future()


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), sys.argv[2]))
