#!/usr/bin/env bash
# Starts the real monitor under Xvfb and captures its window into
# docs/screenshot.png (ImageMagick's import). Needs a build in build/.
# Optional first argument: the output file.
source "$(dirname "$0")/common.sh"
OUT=${1:-$ROOT/docs/screenshot.png}
if [ -z "${ORVEL_IN_XVFB:-}" ]; then
    export ORVEL_IN_XVFB=1
    with_headless_display "$0" "$OUT"
    exit
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
