#!/usr/bin/env bash
# The main job: set up, build, make the default data and fly over it on the
# scripted host, writing screenshots and a video of the whole flight, then
# print the summary and where the log, the pictures and the video are.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

OUT=$PWD/out
rm -rf "$OUT"
mkdir -p "$OUT/data" "$OUT/shots"
./build/tools/quorvel-makedata/quorvel-makedata "$OUT/data" --seed 1

# Night (60), dawn (124), the painted squares (160), noon (180), dusk (236),
# the next night (300), the next dawn (365) and the morning after (390).
SHOTS=()
for f in 60 124 160 180 236 300 365 390; do SHOTS+=(--shot "$f:$OUT/shots/frame_$f.png"); done
echo "== flying over the default data (scripted input, 51 ms per frame: the time of day steps a tenth of an hour each frame)"
set +e
./build/tools/quorvel-run/quorvel-run --dir "$OUT/data" --clock 51 \
  --input "$PWD/scripts/flight.input" "${SHOTS[@]}" --video "$OUT/flight.mp4" | tee "$OUT/summary.txt"
code=${PIPESTATUS[0]}
set -e
echo "== exit code: $code"
echo "== log: $(grep '^log: ' "$OUT/summary.txt" | cut -d' ' -f2-)"
echo "== pictures: $OUT/shots/"
ls -1 "$OUT/shots"
[ -f "$OUT/flight.mp4" ] && echo "== video: $OUT/flight.mp4"
exit "$code"
