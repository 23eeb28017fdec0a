#!/usr/bin/env bash
# Installs what is missing, builds, and starts the monitor in the folder that
# holds its pictures.
source "$(dirname "$0")/common.sh"
need_packages "${BUILD_PACKAGES[@]}"
need_build_deps
build_tree "$ROOT/build"
cd "$ROOT/data"
exec "$ROOT/build/ui/orvel" "$@"
