#!/usr/bin/env bash
# Starts the real monitor under Xvfb and captures its window into
# docs/screenshot.png (ImageMagick's import). Needs a build in build/.
# Optional first argument: the output file.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/docs/screenshot.png}
if [ -z "${ORVEL_IN_XVFB:-}" ]; then
    ORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$OUT"
fi
cd "$ROOT/data"
"$ROOT/build/ui/orvel" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
win=""
for _ in $(seq 50); do
    win=$(xwininfo -root -tree 2>/dev/null | awk '/"Orvel System Manager"/ {print $1; exit}')
    [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 3.5 # the first refresh comes 2 s after start
import -window "$win" "$OUT"
echo "wrote $OUT"
