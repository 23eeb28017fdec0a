#!/bin/sh
# Builds the fuzz targets of the /proc parsers with clang and runs each one.
#   fuzz/run.sh [seconds per target, default 30]
# Exits non-zero when a target crashes or breaks an invariant; the input that
# did it is left in fuzz/corpus-run/artifacts/.
set -eu

seconds=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${ORVEL_FUZZ_BUILD:-$root/build-fuzz}
work=$root/fuzz/corpus-run
cxx=${FUZZ_CXX:-clang++}
targets="stat_line cpu_line meminfo name"

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "run.sh: $cxx not found (apt-get install clang)" >&2
    exit 2
fi

flags="-std=c++17 -g -O1 -Wall -Wextra -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$root/proc"
mkdir -p "$out" "$work/artifacts"
# The name cell is the window's text unit, on wxBase and GLib.
texts="$root/ui/texts.cpp -I$root/ui $(wx-config --cxxflags base) $(pkg-config --cflags glib-2.0)
       $(wx-config --libs base) $(pkg-config --libs glib-2.0)"
for t in $targets; do
    extra=
    [ "$t" = name ] && extra=$texts
    # shellcheck disable=SC2086
    "$cxx" $flags -o "$out/fuzz_$t" "$here/fuzz_$t.cpp" \
        "$root/proc/procstat.cpp" "$root/proc/cpu_usage.cpp" "$root/proc/mem_usage.cpp" $extra
done

status=0
for t in $targets; do
    # New inputs go to the scratch corpus; the committed seeds stay as they are.
    mkdir -p "$work/$t"
    echo "== fuzz_$t for ${seconds}s"
    if ! "$out/fuzz_$t" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
        -artifact_prefix="$work/artifacts/$t-" -print_final_stats=1 \
        "$work/$t" "$here/corpus/$t" >"$work/$t.log" 2>&1; then
        tail -n 40 "$work/$t.log" >&2
        echo "fuzz_$t: failed, see $work/artifacts and $work/$t.log" >&2
        status=1
    else
        grep -E "^stat::number_of_executed_units|^Done" "$work/$t.log" || true
    fi
done
exit $status
