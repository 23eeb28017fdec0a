#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test headless, in three
# parts: the tests of the plain build (the two-minute churn soak and the fault
# injection among them), the same tests built again with AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer, and 30 s of fuzzing for each
# /proc parser. Runs every part, prints what each took, and exits non-zero if
# any test fails.
source "$(dirname "$0")/common.sh"
TEST_PACKAGES=(googletest libgtest-dev xvfb xauth)
# The accessibility tests read the window as a screen reader does: on a
# session bus of their own, with the accessibility bus and its client library.
TEST_PACKAGES+=(dbus at-spi2-core libatspi2.0-dev)
# The keyboard tests run a window manager and read its name with xprop.
TEST_PACKAGES+=(openbox x11-utils)
# The install tests validate, package and screenshot the installed program.
mapfile -t PACKAGING_PACKAGES < "$ROOT/packaging/test-packages.txt"
TEST_PACKAGES+=("${PACKAGING_PACKAGES[@]}")
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" clang
need_build_deps
need_fuzz_toolchain

# Without a session bus the toolkit's accessibility bridge only complains;
# the accessibility tests start their own buses and turn it back on.
export NO_AT_BRIDGE=1
FUZZ_SECONDS=${FUZZ_SECONDS:-30}

# Each part is run as an if condition, where errexit is off: every step
# says itself when it fails.

# ctest in a build folder, then the soak's figures.
run_tests() {
    local dir=$1 report=$1/tests/soak/soak-report.txt rc=0
    shift
    rm -f "$report"
    (cd "$dir" && with_headless_display ctest --output-on-failure --timeout 300 "$@") || rc=1
    [ -f "$report" ] && cat "$report"
    return $rc
}

plain() {
    build_tree "$ROOT/build" || return 1
    run_tests "$ROOT/build"
}

# The install tests are left out: they check the package, not the program's
# memory, and an instrumented binary is not what gets packaged.
sanitized() {
    build_tree "$ROOT/build-asan" -DORVEL_SANITIZE=ON || return 1
    (
        export ASAN_OPTIONS=detect_leaks=1:malloc_context_size=12:check_initialization_order=1
        export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp:print_suppressions=0
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        run_tests "$ROOT/build-asan" -E '^install_'
    )
}

fuzz() {
    bash "$ROOT/fuzz/run.sh" "$FUZZ_SECONDS"
}

failed=()
for part in plain sanitized fuzz; do
    echo "=== $part"
    start=$SECONDS
    if "$part"; then
        echo "=== $part: passed in $((SECONDS - start)) s"
    else
        echo "=== $part: FAILED after $((SECONDS - start)) s"
        failed+=("$part")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}"
    exit 1
fi
echo "all tests passed in $SECONDS s"
