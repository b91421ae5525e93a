#!/usr/bin/env bash
# The main job: set up, build, make the default data and fly over it on the
# scripted host, writing screenshots, then print the summary and where the
# log and the pictures are.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

OUT=$PWD/out
rm -rf "$OUT"
mkdir -p "$OUT/data" "$OUT/shots"
./build/tools/quorvel-makedata/quorvel-makedata "$OUT/data" --seed 1

SHOTS=()
for f in 1 60 120 200 300 399; do SHOTS+=(--shot "$f:$OUT/shots/frame_$f.png"); done
echo "== flying over the default data (scripted input, 20 ms per frame)"
set +e
./build/tools/quorvel-run/quorvel-run --dir "$OUT/data" --clock 20 \
  --input "$PWD/scripts/flight.input" "${SHOTS[@]}" | tee "$OUT/summary.txt"
code=${PIPESTATUS[0]}
set -e
echo "== exit code: $code"
echo "== log: $(grep '^log: ' "$OUT/summary.txt" | cut -d' ' -f2-)"
echo "== pictures: $OUT/shots/"
ls -1 "$OUT/shots"
exit "$code"
