#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test headless. Exits
# non-zero on any failure.
source "$(dirname "$0")/common.sh"
TEST_PACKAGES=(googletest libgtest-dev xvfb xauth)
# The install tests validate, package and screenshot the installed program.
mapfile -t PACKAGING_PACKAGES < "$ROOT/packaging/test-packages.txt"
TEST_PACKAGES+=("${PACKAGING_PACKAGES[@]}")
need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build_tree "$ROOT/build"
cd "$ROOT/build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300
