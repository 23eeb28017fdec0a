#!/usr/bin/env bash
# What the accessible adds to a refresh among N (20,000) extra processes: the
# window's cycles under callgrind, the instructions of the bridge's entry
# points (the status bar's new name, the list's focus and selection events,
# with all they call) per cycle; and, measured without callgrind, the CPU
# time of the one thing the accessible does in a steady cycle, telling the
# status bar's new name. Three ways: the accessibility bridge off, on with
# nobody listening, on with a client listening to every object event. A
# steady cycle, and the cycle in which the N processes appear above the
# focused row. Prints one line per way and cycle. KINDS ("steady appear")
# chooses the cycles, CALLGRIND=0 leaves callgrind out (it takes minutes at
# 20,000 rows).
source "$(dirname "$0")/../scripts/common.sh"
N=${N:-20000}
BUILD=$ROOT/build-bench
if [ -z "${ORVEL_A11Y_COST_INNER:-}" ]; then
    need_packages "${BUILD_PACKAGES[@]}" valgrind dbus at-spi2-core libatspi2.0-dev xvfb xauth
    need_build_deps
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BUILD" --target orvel_bench_cycle orvel_idle_children orvel_a11y_listener
    export ORVEL_A11Y_COST_INNER=1 N KINDS CALLGRIND
    with_headless_display env -u NO_AT_BRIDGE dbus-run-session -- "$0"
    exit
fi
BIN=$BUILD/bench
WORK=$(mktemp -d)
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!

# Inclusive instructions of the bridge's entry points, and of everything.
instructions() {
    callgrind_annotate --inclusive=yes "$1" | awk '
        /statusTextChanged\(|ListEvents::operator\(\)/ { gsub(",", "", $1); a += $1 }
        /PROGRAM TOTALS/ { gsub(",", "", $1); t = $1 }
        END { printf "%d %d\n", a, t }'
}

# cycle WAY KIND: KIND steady (3 cycles among N idle processes) or appear.
cycle() {
    local way=$1 kind=$2 args
    if [ "$kind" = steady ]; then
        args=(--cycles 3 --warmup 1 --status-calls 51)
    else
        args=(--storm "$N" --focus-row --warmup 1 --steady 1 --scans 1)
    fi
    "$BIN/orvel_bench_cycle" "${args[@]}" >"$WORK/plain.out" 2>/dev/null
    if [ "${CALLGRIND:-1}" != 0 ]; then
        valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$WORK/cg" \
            "$BIN/orvel_bench_cycle" "${args[@]}" >/dev/null 2>&1
    fi
    local us told cycles=3
    if [ "$kind" = steady ]; then
        us=$(awk '/^cycle_us_median/ {print $2}' "$WORK/plain.out")
        told=$(awk '/^status_told_us_median/ {print $2}' "$WORK/plain.out")
    else
        us=$(awk '/^storm_appear_us/ {print $2}' "$WORK/plain.out")
        told=-
        cycles=1
    fi
    local mine=0 all=0
    [ -f "$WORK/cg" ] && read -r mine all < <(instructions "$WORK/cg")
    awk -v w="$way" -v k="$kind" -v m="$mine" -v a="$all" -v us="$us" -v c="$cycles" -v t="$told" '
        BEGIN { printf "%-22s %-7s cycle %9.0f us, %11.0f instructions; accessible %8.0f instructions, status told in %s us\n",
               w, k, us, a / c, m / c, t }'
    rm -f "$WORK/cg"
}

for kind in ${KINDS:-steady appear}; do
    # The steady cycles' N processes, started once for the three ways.
    kids=
    if [ "$kind" = steady ]; then
        "$BIN/orvel_idle_children" "$N" >"$WORK/kids.out" &
        kids=$!
        until grep -q ready "$WORK/kids.out"; do sleep 0.2; done
    fi
    NO_AT_BRIDGE=1 cycle "bridge off" $kind
    cycle "bridge on, no client" $kind
    "$BIN/orvel_a11y_listener" >"$WORK/listener.out" &
    listener=$!
    until grep -q listening "$WORK/listener.out"; do sleep 0.2; done
    cycle "bridge on, a client" $kind
    kill "$listener"
    wait "$listener"
    [ -n "$kids" ] && kill "$kids" && wait "$kids"
done
kill "$launcher"
rm -rf "$WORK"
