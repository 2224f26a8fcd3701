#!/usr/bin/env bash
# Measures the camera pipeline (lite models) on videos of real hands at 30 fps: one hand, then two,
# each with the models on ONNX Runtime and on OpenCV's dnn, side by side. Makes the videos with the
# tests' maker; sets up the models (scripts/models.sh) and builds what it runs.
#   bench/camera.sh        the desktop, ONNX Runtime against OpenCV
#   bench/camera.sh page   the page against the desktop, milliseconds per tracked image on the
#                          same videos (one hand; the page test's two hands), one after the other
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/models.sh
out=build/default/camera-bench
mkdir -p "$out"
[ -f "$out/follow.avi" ] || /usr/bin/python3 - "$out" <<'PY'
import math, sys
sys.path.insert(0, "tests/tracking/camera")
import cv2, numpy as np
import makevideos as m

out = sys.argv[1]
m.VIDEOS = {"follow": m.VIDEOS["follow"]}
m.main(out)
# Two hands: the right palm and the same photo mirrored, moving apart and together for 10 s.
photo, tip = m.upright_hand()
mirrored, mtip = photo[:, ::-1].copy(), (photo.shape[1] - 1 - tip[0], tip[1])
wall = m.background()
writer = cv2.VideoWriter(out + "/two.avi", cv2.VideoWriter_fourcc(*"MJPG"), m.RATE,
                         (m.WIDTH, m.HEIGHT))
for n in range(10 * m.RATE):
    spread = 40 * math.sin(2 * math.pi * n / m.RATE / 3)
    image = m.frame(photo, tip, (430 + spread, 170), 0.65, wall).astype(np.float32)
    writer.write(m.frame(mirrored, mtip, (190 - spread, 170), 0.65, image))
writer.release()
PY
cmake --build --preset default --target camera_bench >/dev/null
if [ "${1:-}" = page ]; then
  # The desktop: its controller thread's CPU per image (ONNX Runtime, one thread). The page: the
  # worker's time per image (onnxruntime-web, one thread), image handed over to fingertips back.
  scripts/web.sh >/dev/null
  [ -d web/test/node_modules/playwright-core ] ||
    (cd web/test && npm ci --no-audit --no-fund --loglevel=error)
  /usr/bin/python3 web/test/camera_videos.py two "$out"
  for video in follow two-hands; do
    seconds=$(/usr/bin/python3 web/test/camera_videos.py y4m "$out/$video.avi" "$out/$video.y4m")
    report=$(QUORVEL_CAMERA_RUNTIME=onnxruntime build/default/bench/camera_bench "$out/$video.avi")
    desktop=$(echo "$report" | sed -n 's/^tracking CPU per image.*median \([0-9.]*\) ms.*/\1/p')
    page=$(node web/test/measure-camera.mjs dist/web "$out/$video.y4m" "$seconds")
    rm -f "$out/$video.y4m"
    echo "$video.avi: desktop $desktop ms CPU an image ($(echo "$report" | grep '^capture to'));"
    echo "  $page"
    ms=$(echo "$page" | sed -n 's/.*median \([0-9.]*\) ms.*/\1/p')
    awk -v d="$desktop" -v p="$ms" 'BEGIN { printf "  page / desktop: %.1f\n", p / d }'
  done
  uptime
  exit 0
fi
for video in follow two; do
  for runtime in onnxruntime opencv; do
    echo "== $video.avi, $runtime =="
    QUORVEL_CAMERA_RUNTIME=$runtime build/default/bench/camera_bench "$out/$video.avi"
  done
done
