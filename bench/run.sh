#!/usr/bin/env bash
# Measures what a refresh costs against the floor of reading every
# /proc/<pid>/stat, against top and htop, and orvel's peak memory, with 500,
# 2000 and 8000 extra idle processes; then the storm: the cycles in which
# 20,000 extra processes appear and end at once. Prints the tables and writes
# them, with the machine and the date, into BENCHMARKS.md. Installs what is
# missing and builds first. Takes about 11 minutes, the storm 1.5 of them.
#
# Options through the environment: COUNTS ("500 2000 8000"; empty for the
# storm alone, which leaves BENCHMARKS.md as it is), SECONDS_EACH (30),
# ROUNDS (3), STORM (20000; 0 to leave it out), STORM_ROUNDS (ROUNDS).
source "$(dirname "$0")/../scripts/common.sh"
BENCH_PACKAGES=()
while read -r p; do [ -n "$p" ] && BENCH_PACKAGES+=("$p"); done <"$ROOT/bench/packages.txt"
COUNTS=${COUNTS-"500 2000 8000"}
SECONDS_EACH=${SECONDS_EACH:-30}
ROUNDS=${ROUNDS:-3}
STORM=${STORM:-20000}
STORM_ROUNDS=${STORM_ROUNDS:-$ROUNDS}
BUILD=$ROOT/build-bench

if [ -z "${ORVEL_BENCH_IN_XVFB:-}" ]; then
    need_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    need_build_deps
    # A build folder of its own, optimised as a release is.
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BUILD" --target bench
    # perf counts refreshes through the syscall tracepoints.
    if ! mountpoint -q /sys/kernel/tracing; then
        "${SUDO[@]}" mount -t tracefs nodev /sys/kernel/tracing
    fi
    export ORVEL_BENCH_IN_XVFB=1 COUNTS SECONDS_EACH ROUNDS STORM STORM_ROUNDS
    inner=("$0")
    if [ ${#SUDO[@]} -gt 0 ]; then
        inner=(sudo --preserve-env=ORVEL_BENCH_IN_XVFB,DISPLAY,XAUTHORITY,COUNTS,SECONDS_EACH,ROUNDS,STORM,STORM_ROUNDS "$0")
    fi
    with_headless_display "${inner[@]}"
    exit
fi
# From here on: as root, inside Xvfb.
if [ "$(id -u)" -ne 0 ]; then
    echo "the measurements need root (perf tracepoints)" >&2
    exit 1
fi
BIN=$BUILD/bench
ORVEL=$BUILD/ui/orvel
WORK=$(mktemp -d /tmp/orvel-bench.XXXXXX)
RESULTS=$WORK/results
MEMORY=$WORK/memory
: >"$RESULTS"
: >"$MEMORY"
HELPER=""
cleanup() {
    [ -n "$HELPER" ] && kill "$HELPER" 2>/dev/null || true
    tmux -L orvelbench kill-server 2>/dev/null || true
    jobs -p | xargs -r kill 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

ulimit -u unlimited 2>/dev/null || true
need=$(( ${COUNTS##* } + 2000 ))
if [ "$(cat /proc/sys/kernel/pid_max)" -lt "$need" ] ||
    [ "$(cat /proc/sys/kernel/threads-max)" -lt "$need" ]; then
    echo "pid_max or threads-max below $need" >&2
    exit 1
fi
# The storm's room is looked at now, so that a short one is known before the
# rest has run; the storm itself looks again.
STORM_SKIPPED=""
if [ "$STORM" -gt 0 ] &&
    ! "$BIN/orvel_bench_cycle" --storm "$STORM" --room-only >/dev/null 2>"$WORK/room.err"; then
    STORM_SKIPPED=$(cat "$WORK/room.err")
    echo "the storm row is left out: $STORM_SKIPPED" >&2
fi

# Nanoseconds of CPU the process has used, all its threads together.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'
}

processes() {
    ls /proc | grep -c '^[0-9]'
}

# measure PID: CPU nanoseconds and refreshes over SECONDS_EACH. A refresh is
# counted each time the program opens the /proc directory, once per scan.
measure() {
    local pid=$1 c0 c1 n
    c0=$(cpu_ns "$pid")
    n=$(perf stat -x, -e syscalls:sys_enter_openat \
        --filter 'filename.ustring == "/proc" || filename.ustring == "/proc/"' \
        -p "$pid" -- sleep "$SECONDS_EACH" 2>&1 >/dev/null | awk -F, '/sys_enter_openat/ {print $1}')
    c1=$(cpu_ns "$pid")
    echo "$((c1 - c0)) ${n:-0}"
}

# Starts orvel in the pictures' folder and chooses the fast speed through its
# View menu with real key presses. Prints its PID.
start_orvel() {
    (cd "$ROOT/data" && exec env "$@" "$ORVEL" >/dev/null 2>&1) &
    local pid=$! win
    win=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Orvel System Manager$' | head -1)
    [ -n "$win" ] || { echo "orvel's window did not appear" >&2; return 1; }
    sleep 1
    xdotool windowfocus --sync "$win"
    # 보기(&V) -> 업데이트 속도 (&U) -> 빠름 (&H)
    xdotool key --clearmodifiers alt+v
    sleep 0.5
    xdotool key u
    sleep 0.5
    xdotool key h
    echo "$pid"
}

# The figure named on "NAME VALUE" lines of the bench programs' output: the
# median over the rounds.
figure() {
    awk -v name="$1" '$1 == name {print $2}' "$2" | sort -g |
        awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]}'
}

hwm_kb() {
    awk '/^VmHWM:/ {print $2}' /proc/"$1"/status
}

# Bytes of the kernel's unreclaimable slabs, where what an open /proc file
# pins lives: the page its text is made in, the file and the seq_file.
slab_bytes() {
    awk '$1 == "SUnreclaim:" {printf "%.0f", $2 * 1024}' /proc/meminfo
}

# Ends orvel (PID) and prints the unreclaimable slab bytes that the kernel
# freed with its files: read just before it ends and once the freeing has
# settled after it is reaped. Counting objects in /proc/slabinfo instead
# misses those freed into slabs a CPU still holds.
end_and_freed() {
    local pid=$1 before after last
    before=$(slab_bytes)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    last=$(slab_bytes)
    for _ in $(seq 50); do
        sleep 0.2
        after=$(slab_bytes)
        [ "$after" -ge "$last" ] && break
        last=$after
    done
    echo $((before - after))
}

open_files() {
    ls /proc/"$1"/fd | wc -l
}

# Waits at least 5 s, then until orvel (PID) has held the same number of
# files for a second: the table opens the files it holds for a few thousand
# processes a refresh.
settle_files() {
    local last=-1 now
    sleep 4
    for _ in $(seq 60); do
        sleep 1
        now=$(open_files "$1")
        [ "$now" -eq "$last" ] && break
        last=$now
    done
}

# Starts N idle children in the background (HELPER) and waits until they
# all exist.
start_children() {
    "$BIN/orvel_idle_children" "$1" >"$WORK/helper.out" &
    HELPER=$!
    for _ in $(seq 1800); do
        grep -qE '^(ready|failed)' "$WORK/helper.out" 2>/dev/null && break
        kill -0 "$HELPER" 2>/dev/null || break
        sleep 0.1
    done
    if ! grep -q '^ready' "$WORK/helper.out"; then
        echo "the helper could not fork $1 children: $(cat "$WORK/helper.out")" >&2
        exit 1
    fi
    sleep 1
}

stop_children() {
    kill "$HELPER"
    wait "$HELPER" 2>/dev/null || true
    HELPER=""
}

start_top() {
    mkdir -p "$WORK/home"
    (cd "$WORK" && exec env HOME="$WORK/home" top -b -d 0.5 >/dev/null 2>&1) &
    echo $!
}

# htop in a 200x50 tmux pane; prints its PID.
start_htop() {
    tmux -L orvelbench -f /dev/null new-session -d -x 200 -y 50 \
        "exec env HOME=$WORK/home TERM=screen-256color htop -d 5" \; set-option status off
    sleep 1
    tmux -L orvelbench list-panes -F '#{pane_pid}' | head -1
}

# The memory of orvel, top and htop with N idle children, each started with
# them running: orvel's open files, peak resident memory and the kernel
# memory its files pin, after a few refreshes at 500 ms; top's and htop's peak
# resident memory after a few of theirs. One results line as the tables'.
memory_pass() {
    local n=$1 pid procs files hwm pinned top_hwm htop_hwm
    start_children "$n"
    pid=$(start_orvel)
    settle_files "$pid"
    procs=$(processes)
    files=$(open_files "$pid")
    hwm=$(hwm_kb "$pid")
    pinned=$(end_and_freed "$pid")
    pid=$(start_top)
    sleep 5
    top_hwm=$(hwm_kb "$pid")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=$(start_htop)
    sleep 5
    htop_hwm=$(hwm_kb "$pid")
    tmux -L orvelbench kill-server
    stop_children
    echo "$n $procs $files $hwm $pinned $top_hwm $htop_hwm"
}

for N in $COUNTS; do
    echo "== N = $N"
    start_children "$N"

    # The loops and the cycles take turns, so that the machine's drift over
    # a minute weighs on both alike.
    : >"$WORK/floor.out"
    : >"$WORK/cycle.out"
    for _ in $(seq "$ROUNDS"); do
        "$BIN/orvel_bench_floor" 10 500 >>"$WORK/floor.out"
        "$BIN/orvel_bench_cycle" --data "$ROOT/data" --cycles 9 >>"$WORK/cycle.out"
    done
    floor_us_per_scan=$(figure floor_us_per_scan "$WORK/floor.out")
    floor_files=$(figure floor_files "$WORK/floor.out")
    limit_us_per_scan=$(figure limit_us_per_scan "$WORK/floor.out")
    limit_files=$(figure limit_files "$WORK/floor.out")
    owner_us_per_scan=$(figure owner_limit_us_per_scan "$WORK/floor.out")
    owner_files=$(figure owner_limit_files "$WORK/floor.out")
    cycle_us_median=$(figure cycle_us_median "$WORK/cycle.out")
    cycle_rows=$(figure cycle_rows "$WORK/cycle.out")
    echo "floor $floor_us_per_scan us for $floor_files files; limit $limit_us_per_scan us for" \
        "$limit_files files; cycle $cycle_us_median us for $cycle_rows rows"

    pid=$(start_orvel)
    sleep 3
    procs_orvel=$(processes)
    read -r orvel_ns orvel_n < <(measure "$pid")
    orvel_hwm=$(hwm_kb "$pid")
    orvel_files=$(open_files "$pid")
    orvel_pinned=$(end_and_freed "$pid")
    echo "orvel $orvel_ns ns over $orvel_n refreshes, peak $orvel_hwm kB, $orvel_files files" \
        "open, $orvel_pinned bytes of kernel caches freed when it ended"
    if [ "$orvel_n" -lt $((SECONDS_EACH * 2 * 8 / 10)) ]; then
        echo "warning: orvel refreshed $orvel_n times in $SECONDS_EACH s; the fast speed did not take" >&2
    fi

    pid=$(start_top)
    sleep 2
    read -r top_ns top_n < <(measure "$pid")
    top_hwm=$(hwm_kb "$pid")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "top $top_ns ns over $top_n refreshes, peak $top_hwm kB"

    pid=$(start_htop)
    size=$(tmux -L orvelbench display-message -p '#{pane_width}x#{pane_height}')
    sleep 1
    read -r htop_ns htop_n < <(measure "$pid")
    htop_hwm=$(hwm_kb "$pid")
    tmux -L orvelbench kill-server
    echo "htop ($size) $htop_ns ns over $htop_n refreshes, peak $htop_hwm kB"

    stop_children
    echo "$N $procs_orvel $orvel_files $orvel_hwm $orvel_pinned $top_hwm $htop_hwm" >>"$MEMORY"
    echo "$N $floor_us_per_scan $floor_files $cycle_us_median $cycle_rows $procs_orvel" \
        "$orvel_ns $orvel_n $top_ns $top_n $htop_ns $htop_n $orvel_hwm" \
        "$limit_us_per_scan $limit_files $owner_us_per_scan $owner_files" >>"$RESULTS"
done

# The table, in microseconds per process. Fields of a results line: 1 N,
# 2-3 floor, 4-5 cycle, 6 processes, 7-12 orvel, top, htop, 13 peak, 14-15 limit,
# 16-17 owner limit.
TABLE=$(awk '
function per(ns, n, p) { return n > 0 && p > 0 ? ns / 1000 / n / p : 0 }
BEGIN {
    print "| N | processes | floor µs/proc | limit µs/proc | owner limit µs/proc | cycle µs/proc | cycle/limit | cycle/owner limit | orvel µs/proc/refresh | top µs/proc/refresh | htop µs/proc/refresh | orvel/top | orvel/htop | refreshes orvel/top/htop | orvel peak RSS MB |"
    print "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
}
{
    fl = $2 / $3; li = $14 / $15; ow = $16 / $17; cy = $4 / $5
    o = per($7, $8, $6); t = per($9, $10, $6); h = per($11, $12, $6)
    printf "| %d | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %d/%d/%d | %.1f |\n",
        $1, $6, fl, li, ow, cy, cy / li, cy / ow, o, t, h, (t > 0 ? o / t : 0), (h > 0 ? o / h : 0),
        $8, $10, $12, $13 / 1024
}' "$RESULTS")

TARGETS=$(awk '
{
    n[NR] = $1; li = $14 / $15; cy[NR] = $4 / $5
    o = $7 / $8; t = $9 / $10; h = $11 / $12
    if ($1 >= 2000) {
        printf "- N = %d: cycle %.2f × limit (target ≤ 1.2): %s\n", $1, cy[NR] / li, cy[NR] / li <= 1.2 ? "met" : "MISSED"
        printf "- N = %d: orvel %.2f × top per refresh (target ≤ 0.4): %s\n", $1, o / t, o / t <= 0.4 ? "met" : "MISSED"
        printf "- N = %d: orvel %.2f × htop per refresh (target ≤ 0.25): %s\n", $1, o / h, o / h <= 0.25 ? "met" : "MISSED"
    }
    if ($1 == 8000)
        printf "- N = 8000: orvel peak RSS %.1f MB (target ≤ 92): %s\n", $13 / 1024, $13 / 1024 <= 92 ? "met" : "MISSED"
    fl = $2 / $3
    if ($1 == 2000)
        printf "- N = 2000: cycle %.2f × floor (target ≤ 0.85): %s\n", cy[NR] / fl, cy[NR] / fl <= 0.85 ? "met" : "MISSED"
    if ($1 == 8000)
        printf "- N = 8000: cycle %.2f × floor (target ≤ 1): %s\n", cy[NR] / fl, cy[NR] / fl <= 1 ? "met" : "MISSED"
}
END {
    if (NR > 1) {
        r = cy[NR] / cy[1]
        printf "- cycle µs/proc at N = %d over N = %d: %.2f (target ≤ 1): %s\n", n[NR], n[1], r, r <= 1 ? "met" : "MISSED"
    }
}' "$RESULTS")

if [ -n "$COUNTS" ]; then
    echo
    echo "$TABLE"
    echo
    echo "$TARGETS"
fi

# The storm, each round in a new window.
STORM_TABLE=""
STORM_TARGETS=""
if [ "$STORM" -gt 0 ] && [ -z "$STORM_SKIPPED" ]; then
    echo "== storm, N = $STORM"
    started=$(date +%s)
    : >"$WORK/storm.out"
    for _ in $(seq "$STORM_ROUNDS"); do
        if ! "$BIN/orvel_bench_cycle" --data "$ROOT/data" --storm "$STORM" \
            >"$WORK/round.out" 2>"$WORK/storm.err"; then
            STORM_SKIPPED="the storm failed: $(tail -1 "$WORK/storm.err")"
            echo "$STORM_SKIPPED" >&2
            break
        fi
        cat "$WORK/round.out" >>"$WORK/storm.out"
        awk '$1 ~ /^storm_(floor_cold|appear|appear_wall|steady|floor|end|end_wall)_us$/ {
                 printf "%s %.0f ms, ", substr($1, 7, length($1) - 9), $2 / 1000 }
             $1 == "storm_hwm_kb" { peak = $2 / 1024 }
             END { printf "peak %.1f MB\n", peak }' "$WORK/round.out"
    done
    echo "storm: $STORM_ROUNDS rounds in $(($(date +%s) - started)) s"
    memory_pass "$STORM" >>"$MEMORY"
fi

# The memory, orvel's own and what its open files pin in the kernel, beside
# top's and htop's. Fields: 1 N, 2 processes, 3 orvel's open files, 4 its
# peak resident kB, 5 kernel bytes freed when it ended, 6-7 top's and htop's
# peak resident kB.
MEMORY_TABLE=$(awk '
BEGIN {
    print "| N | processes | files open | resident (VmHWM) MB | kernel memory pinned MB | all-in MB | top, max resident MB | htop, max resident MB |"
    print "|---:|---:|---:|---:|---:|---:|---:|---:|"
}
{
    printf "| %d | %d | %d | %.1f | %.1f | %.1f | %.1f | %.1f |\n",
        $1, $2, $3, $4 / 1024, $5 / 1048576, $4 / 1024 + $5 / 1048576, $6 / 1024, $7 / 1024
}' "$MEMORY")
MEMORY_TARGETS=$(awk '
{
    all = $4 / 1024 + $5 / 1048576
    if ($1 == 8000 || $1 == 20000) {
        t = $1 == 8000 ? 100 : 160
        printf "- N = %d: all-in %.1f MB (target ≤ %d): %s\n", $1, all, t, all <= t ? "met" : "MISSED"
    }
}' "$MEMORY")
echo
echo "$MEMORY_TABLE"
echo
echo "$MEMORY_TARGETS"
if [ "$STORM" -gt 0 ] && [ -z "$STORM_SKIPPED" ]; then
    storm=""
    for f in floor_cold_files floor_cold_us appear_us appear_wall_us steady_us floor_us end_us \
        end_wall_us hwm_kb open_files_hard_limit next_us ramp_us; do
        storm="$storm $(figure "storm_$f" "$WORK/storm.out")"
    done
    # Fields: 1 N, 2 processes, 3 floor cold, 4-5 appear (CPU, wall), 6 steady,
    # 7 floor, 8-9 end (CPU, wall), 10 peak, 11 open-file hard limit, 12 the
    # cycle after the appear cycle, 13 the most costly of the cycles in which
    # the table opens the files it holds for them.
    STORM_TABLE=$(echo "$STORM $storm" | awk '
    {
        print "| N extra | processes | floor cold ms | appear cycle ms | appear wall ms | next cycle ms | holding cycles, most ms | steady cycle ms | floor ms | end cycle ms | end wall ms | appear/floor cold | next/floor | holding/floor | end/floor | steady/floor | resident MB |"
        print "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
        printf "| %d | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.2f | %.2f | %.2f | %.2f | %.2f | %.1f |\n",
            $1, $2, $3 / 1000, $4 / 1000, $5 / 1000, $12 / 1000, $13 / 1000, $6 / 1000, $7 / 1000,
            $8 / 1000, $9 / 1000, $4 / $3, $12 / $7, $13 / $7, $8 / $7, $6 / $7, $10 / 1024
    }')
    STORM_TARGETS=$(echo "$STORM $storm" | awk '
    {
        printf "- N = %d: appear cycle %.2f × floor cold (target ≤ 1.5): %s\n", $1, $4 / $3, $4 / $3 <= 1.5 ? "met" : "MISSED"
        printf "- N = %d: the cycle after it %.2f × floor (target ≤ 1.5): %s\n", $1, $12 / $7, $12 / $7 <= 1.5 ? "met" : "MISSED"
        printf "- N = %d: end cycle %.2f × floor (target ≤ 1.5): %s\n", $1, $8 / $7, $8 / $7 <= 1.5 ? "met" : "MISSED"
        printf "- N = %d: steady cycle %.2f × floor (target ≤ 1): %s\n", $1, $6 / $7, $6 / $7 <= 1 ? "met" : "MISSED"
        printf "- N = %d: resident %.1f MB (target ≤ 150): %s\n", $1, $10 / 1024, $10 / 1024 <= 150 ? "met" : "MISSED"
    }')
    STORM_TARGETS="$STORM_TARGETS

The open-file hard limit was $(echo "$storm" | awk '{print $10}'); the window holds the stat files
of the processes that have lived through a refresh while the limit leaves room, opening them for
at most $(awk '/kHoldsPerScan =/ {sub(";", "", $NF); print $NF}' "$ROOT/proc/process_table.h") processes a refresh."
    echo
    echo "$STORM_TABLE"
    echo
    echo "$STORM_TARGETS"
    STORM_TARGETS="Targets:

$STORM_TARGETS"
fi
if [ -n "$STORM_SKIPPED" ]; then
    STORM_TABLE="Not measured here: $STORM_SKIPPED"
elif [ "$STORM" -le 0 ]; then
    STORM_TABLE="Not measured (STORM=0)."
fi
if [ -z "$COUNTS" ]; then
    echo "COUNTS is empty: BENCHMARKS.md is left as it is"
    exit 0
fi

# The accessible's section comes from bench/a11y_cost.sh and is kept.
A11Y_SECTION=$(sed -n '/^## What the accessible costs/,$p' "$ROOT/BENCHMARKS.md")
CPU=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
MEM=$(awk '/^MemTotal/ {printf "%.0f GB", $2 / 1048576}' /proc/meminfo)
OS=$(. /etc/os-release && echo "$PRETTY_NAME")
cat >"$ROOT/BENCHMARKS.md" <<MD
# Benchmarks

Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC').
Machine: $CPU, $(nproc) cores, $MEM, $OS, Linux $(uname -r); $(perf --version 2>/dev/null | head -1), $(top -V | head -1), $(htop --version | head -1), wxWidgets $(dpkg-query -W -f='${Version}' libwxgtk3.2-1 2>/dev/null).

N extra idle processes (children that sleep in \`pause()\`) run beside the
machine's own; "processes" counts every numeric entry of \`/proc\` during the
measurement, and every figure per process divides by it.

- **floor**: CPU time of a bare loop that lists \`/proc\` and opens, reads and
  closes every \`<pid>/stat\` once, parsing nothing; each scan after a 500 ms
  pause like the cycles' (back to back, with the kernel's caches warm, the
  same loop costs about half). This is what top and htop do on every
  refresh. The median of $ROUNDS rounds' medians of 10 scans; the rounds take
  turns with the cycle's, so that the machine's drift weighs on both alike.
- **limit**: the same loop, but every \`<pid>/stat\` stays open from one scan
  to the next and is read again with \`pread\`: listing \`/proc\` and the
  kernel's making of the text, nothing else; same rounds, medians and
  pauses.
- **owner limit**: the limit's loop plus an \`fstat\` of every process's
  directory, held open too: the owner as a monitor that tells the truth must
  read it on every refresh (it can change at any time), at its lowest cost.
- **cycle**: CPU time of one refresh cycle of the real window under Xvfb
  (samplers, scan, table, list update, texts), 500 ms apart: the median of
  $ROUNDS rounds' medians of 9 cycles, each round a new window that runs two
  warm-up cycles first. What the toolkit paints inside the cycle
  counts (a changed status text is painted at once, with whatever else is
  due); the painting after it does not.
- **orvel / top / htop**: total CPU time of the real program over
  ${SECONDS_EACH} s divided by its number of refreshes, painting included:
  \`orvel\` under Xvfb at 500 ms, chosen in its View menu with key presses;
  \`top -b -d 0.5\`; \`htop -d 5\` in a 200×50 tmux pane. Refreshes are counted
  with \`perf stat\` as the program's opens of the \`/proc\` directory, one per
  scan; all three carry the same tracepoint.
- **peak RSS**: orvel's VmHWM at the end of its run.

$TABLE

Targets:

$TARGETS

The storm: N extra idle processes appear between two refresh cycles of the
real window (under Xvfb, 500 ms apart, as for the cycle) and later all end at
once, killed and reaped before the next cycle. Every figure is CPU time of
the window's process, as the floor's; the appear and end cycles' wall time,
what the user waits for, stands beside.

- **floor cold**: the floor's scan once, 500 ms after N processes appeared:
  the kernel's first look at each of them. That look can be had only once,
  so the appear cycle meets a second set of N of its own, started after the
  first has ended (a set that follows one just ended is as cold as the
  first: the same scan's cost within a few per cent).
- **appear cycle**: the first cycle after the second set appeared.
- **next cycle**: the one that follows it, the first in which the table
  opens files to hold for the new processes; **holding cycles**: it and
  the cycles after it until the table holds them all (it opens them for
  a few thousand processes a cycle), the most costly.
- **steady cycle**: the median of 5 cycles after those.
- **floor**: the median of 5 warm scans 500 ms apart, beside the window.
- **end cycle**: the first cycle after all of them have ended.
- **resident**: the window's VmHWM at the end, its peak.

Each the median of $STORM_ROUNDS rounds, each round a new window that runs
two warm-up cycles with the machine's own processes first.

$STORM_TABLE

$STORM_TARGETS

Memory: orvel, top and htop each started with N extra idle processes
running, orvel under Xvfb at 500 ms; the figures after 5 seconds, a few
refreshes, or once its open files have stopped growing if later. **files open**: orvel's open descriptors; **resident**: its
VmHWM, its peak; **kernel memory pinned**: what its open files keep in the
kernel, measured and not computed: the kernel's unreclaimable slab memory
(\`SUnreclaim\` in \`/proc/meminfo\`, where the page each open \`/proc\` text
is made in, the file and its seq_file live) just before it is ended less
once the freeing has settled after it is reaped (the rows up to 8000 after
its 30 s run above, the storm's N in a run of its own); **all-in**:
the two together; **top, htop**: their VmHWM after a few refreshes in the
same run, beside the same processes.

$MEMORY_TABLE

$MEMORY_TARGETS

Where the time went, and what was done (found with perf, callgrind, gdb
and a count of paint events per window):

- The floor is kernel time: the lookup, open and close of each
  \`<pid>/stat\` and its text. From a process's second refresh on, the
  cycle holds its stat file open and reads it again in place, so its kernel
  part is the limit's (listing, and the text, about 70% of the cycle). It
  adds an \`fstat\` of the process's held directory for the owner (its
  effective user, which can change at any time): the owner limit less the
  limit, 0.9 to 2 µs per process here from one run to the next, an eighth
  to a quarter of the limit, which leaves a cycle that reads the owner on
  every refresh little or nothing of the 1.2 times the limit. The rest is
  the table's and the rows' book-keeping and the status bar, which paints
  at once (about 1 ms per refresh). A stat line that has not changed since its record was filled
  (a sleeping process's) is hashed and not parsed again: callgrind counts
  about 2,500 instructions per process and cycle instead of 6,700. The
  list keeps no rows of its own (a virtual list): it asks for the texts of
  the rows it draws, and only rows on screen whose texts changed are drawn
  again; only new rows are sorted.
- A new text in the two labels of the performance page made GTK lay the
  window out again, and the notebook then repainted its visible page, the
  whole process list (about 11 ms per refresh at N = 500). The labels are now
  written only while their page shows, and brought up to date when it is
  shown.
- Thawing the list after the update repainted all its visible rows; without
  the freeze only the rows that changed are painted.
- The status bar paints the window at once when its text changes, with
  whatever else is due: its text is now set before the list changes, so that
  is the bar alone.
- Memory: GDK's probe for OpenGL visuals mapped Mesa's software renderer
  (libLLVM), about 55 MB; the window draws nothing with OpenGL, so the
  program turns the probe off (\`GDK_GL=disable\`, unless the user set
  \`GDK_GL\`). The table holds one record per process. It was 4,488
  bytes, 4,096 of them room for the command name (36 MB at 8000, 90 MB at
  20000, written whole and so resident); the kernel prints at most 64
  bytes of a name, and the record is now 520 bytes (11 MB at 20000). The
  rest is some 45 MB of libraries and fonts mapped from files; the list
  holds no rows of its own.
- The storm: a list that held its rows in the toolkit paid about 60 µs for
  every new row and 50 µs for every ended one (a graphics context and a
  text measurement in each InsertItem, SetItem and DeleteItem): the appear
  cycle took 1.9 s and the end cycle 1.2 s at N = 20000. The virtual list's
  step takes about 3 ms there. What is left of the appear cycle is the
  scan: each new process's stat file opened and read cold, its owner
  looked up, and a new record for it.
- Kernel memory: each open \`<pid>/stat\` keeps the page its text is made
  in (\`kmalloc-cg-4k\`), its file and its seq_file, about 4.3 KB charged to
  the user's memory cgroup, for as long as it stays open; an open directory
  (\`O_PATH\`) keeps a file alone, 192 bytes. Held for every process from
  its first refresh, that was 35 MB at N = 8000 and 83 MB at 20000 (all-in
  114 and 215 MB with the old records), and the storm's appear cycle made
  80 MB of new kernel buffers: 2 to 2.8 cold floors. Now a process holds
  nothing in its first refresh, so a burst of short-lived processes, a
  parallel build, pins nothing, and the appear cycle opens, reads and
  closes as the floor does. From its second refresh on, a process holds its
  stat file (and its directory while the limit on open files leaves room
  for both), but a refresh opens them for at most 2,048 processes: with
  perf, holding all 20,000 in the cycle after the storm spent 30% of it in
  \`allocate_slab\` under \`__kvmalloc_node\` (the new kernel buffers), 1.8
  floors; spread over ten refreshes that is a few per cent of each. Holding
  fewer than all of them costs the steady refresh: with 3,640 held and the
  others holding their directory alone (opening the stat file in it each
  time) the steady cycle was 1.4 floors at 20000. So the budget is 96 MB
  (some 23,000 stat files), past which processes hold their directory
  alone; with the smaller records, everything held at 20000 is still under
  the 160 MB all-in.
- The cycle after the storm, and each one until the table holds them all,
  reads most processes the old way: open, read, close, and the owner
  looked up by name (\`fstatat\`, 12% of that cycle with perf), besides the
  table's index (2%): about 1.3 floors plus the holds it opens. Looking the
  owner up through a directory opened with \`O_PATH\` instead costs more (a
  file made and closed); the stat file's own owner is root's for a process
  that is not dumpable, and in a user namespace the namespace's root, so it
  cannot stand in for the directory's.
- top cannot keep up with 0.5 s at N = 8000 (fewer refreshes than asked);
  its figure is still per refresh done.

$A11Y_SECTION
MD
echo "wrote $ROOT/BENCHMARKS.md"
