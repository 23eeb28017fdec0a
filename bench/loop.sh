#!/usr/bin/env bash
# The main loop before and after a change: bench/loop.sh BEFORE_TREE, where
# BEFORE_TREE is a worktree of the code to compare with (git worktree add).
# Copies bench/loop.cpp there, builds it in build-bench/ of both trees, runs
# the two turn about and prints three tables: the area of the list painted per
# refresh, steady and churning (one process starting and one ending in each);
# the window's CPU time per refresh; and, the window starved of CPU, the gap
# between a cycle's end and the next tick and the time from Alt+F4 to the
# window's end. Needs root (a PID namespace of its own). About 8 minutes.
#
# Through the environment: COUNTS of idle processes ("40 500 2000"), ROUNDS
# (2), SLOW_IDLE (2000), SLOW_ROUNDS (2), CAP seconds for a close (60).
source "$(dirname "$0")/../scripts/common.sh"
BEFORE=$(cd "${1:?usage: bench/loop.sh BEFORE_TREE}" && pwd)
COUNTS=${COUNTS:-"40 500 2000"}
ROUNDS=${ROUNDS:-2}
SLOW_IDLE=${SLOW_IDLE:-2000}
SLOW_ROUNDS=${SLOW_ROUNDS:-2}
CAP=${CAP:-60}
if [ "$(id -u)" -ne 0 ]; then
    echo "needs root: the window lists a PID namespace of its own" >&2
    exit 1
fi
if [ -z "${ORVEL_LOOP_IN_XVFB:-}" ]; then
    cp "$ROOT/bench/loop.cpp" "$ROOT/bench/CMakeLists.txt" "$BEFORE/bench/"
    for tree in "$ROOT" "$BEFORE"; do
        cmake -S "$tree" -B "$tree/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$tree/build-bench" --target orvel_bench_loop
    done
    export ORVEL_LOOP_IN_XVFB=1 COUNTS ROUNDS SLOW_IDLE SLOW_ROUNDS CAP
    with_headless_display "$0" "$@"
    exit
fi
RESULTS=$(mktemp /tmp/orvel-loop.XXXXXX)
# A window manager, as on a desktop: it gives the window the keyboard and
# closes it on Alt+F4; it runs at its own priority, not the window's.
openbox --sm-disable >/dev/null 2>&1 &
WM=$!
trap 'kill $WM; rm -f "$RESULTS" "$RESULTS.one"' EXIT
sleep 1

# run before|after KEY ARGS...: one window; its "name value" lines go to the
# results as "which KEY name value".
run() {
    local which=$1 key=$2 tree=$ROOT
    shift 2
    [ "$which" = before ] && tree=$BEFORE
    NO_AT_BRIDGE=1 "$tree/build-bench/bench/orvel_bench_loop" --data "$tree/data" "$@" \
        >"$RESULTS.one" 2>/dev/null || echo "the $which window failed: $*" >&2
    awk -v w="$which" -v k="$key" 'NF == 2 {print w, k, $1, $2}' "$RESULTS.one" >>"$RESULTS"
}

# Turn about, the first of each round alternating, so the machine's drift
# weighs on both alike.
both() {
    local round=$1
    shift
    if [ $((round % 2)) -eq 1 ]; then run before "$@"; run after "$@"; else run after "$@"; run before "$@"; fi
}

for n in $COUNTS; do
    for round in $(seq "$ROUNDS"); do
        echo "== $n idle processes, round $round" >&2
        both "$round" "$n" --idle "$n" --steady 8 --churn 16
    done
done
for round in $(seq "$SLOW_ROUNDS"); do
    echo "== starved, $SLOW_IDLE idle processes, round $round" >&2
    both "$round" "slow$round" --idle "$SLOW_IDLE" --slow 6 --cap "$CAP"
done

# The median over the rounds of one figure: fig WHICH KEY NAME.
fig() {
    awk -v w="$1" -v k="$2" -v n="$3" '$1 == w && $2 == k && $3 == n {print $4}' "$RESULTS" |
        sort -g | awk '{v[NR] = $1} END {print NR ? v[int((NR + 1) / 2)] : "-"}'
}

echo
echo "| idle processes | rows on screen | steady, before | steady, after | churning, before | churning, after |"
echo "|---:|---:|---:|---:|---:|---:|"
for n in $COUNTS; do
    line="| $n | $(fig after "$n" window_rows)"
    for kind in steady churn; do
        for which in before after; do
            line="$line | $(fig "$which" "$n" ${kind}_painted_rows) (max $(fig "$which" "$n" ${kind}_painted_rows_max))"
        done
    done
    echo "$line |"
done
echo
echo "| idle processes | steady µs, before | steady µs, after | churning µs, before | churning µs, after | churning, after/before |"
echo "|---:|---:|---:|---:|---:|---:|"
for n in $COUNTS; do
    b=$(fig before "$n" churn_cpu_us)
    a=$(fig after "$n" churn_cpu_us)
    echo "| $n | $(fig before "$n" steady_cpu_us) | $(fig after "$n" steady_cpu_us) | $b | $a |" \
        "$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}') |"
done
echo
echo "| | round | cycle ms, median (least) | gap ms, median (least) | gaps with idle time | Alt+F4 to the end, ms | from the end of its cycle, ms | window's CPU meanwhile, ms | cycles after the one in progress |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for which in before after; do
    for round in $(seq "$SLOW_ROUNDS"); do
        k=slow$round
        close=$(fig "$which" "$k" close_ms)
        after=$(fig "$which" "$k" close_after_its_cycle_ms)
        if [ "$close" = -1 ]; then
            close="not closed after $CAP s"
            after="-"
        fi
        cpu=$(fig "$which" "$k" close_cpu_ms)
        echo "| $which | $round | $(fig "$which" "$k" cycle_ms_median) ($(fig "$which" "$k" cycle_ms_min))" \
            "| $(fig "$which" "$k" gap_ms_median) ($(fig "$which" "$k" gap_ms_min))" \
            "| $(fig "$which" "$k" gaps_with_idle) of $(fig "$which" "$k" gaps) | $close | $after" \
            "| $cpu | $(fig "$which" "$k" cycles_after_close) |"
    done
done
