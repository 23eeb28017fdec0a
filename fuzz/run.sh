#!/usr/bin/env bash
# Builds the fuzz targets of the /proc parsers and the name cell with clang,
# from the program's own libraries (build-fuzz/, ORVEL_FUZZ=ON), and runs each
# one from the committed corpus.
#   fuzz/run.sh [seconds per target, default 30]
# Exits non-zero when a target crashes or breaks an invariant; the input that
# did it is left in fuzz/corpus-run/artifacts/.
source "$(dirname "$0")/../scripts/common.sh"

seconds=${1:-30}
out=${ORVEL_FUZZ_BUILD:-$ROOT/build-fuzz}
work=$ROOT/fuzz/corpus-run
targets="stat_line cpu_line meminfo name"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "run.sh: clang++ not found (apt-get install clang)" >&2
    exit 2
fi
if [ ! -f "$out/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DORVEL_FUZZ=ON -DBUILD_TESTING=OFF
fi
cmake --build "$out" --target fuzz_targets
mkdir -p "$work/artifacts"

status=0
for t in $targets; do
    # New inputs go to the scratch corpus; the committed seeds stay as they are.
    mkdir -p "$work/$t"
    echo "== fuzz_$t for ${seconds}s"
    if ! "$out/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
        -artifact_prefix="$work/artifacts/$t-" -print_final_stats=1 \
        "$work/$t" "$ROOT/fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
        tail -n 40 "$work/$t.log" >&2
        echo "fuzz_$t: failed, see $work/artifacts and $work/$t.log" >&2
        status=1
    else
        grep -E "^stat::number_of_executed_units|^Done" "$work/$t.log" || true
    fi
done
exit $status
