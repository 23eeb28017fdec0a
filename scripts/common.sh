# Shared by the scripts: root or sudo, installing only what is missing, building,
# and a headless display.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi

# Beside debian/control's Build-Depends (need_build_deps): the generator the
# scripts use and the window's fonts.
BUILD_PACKAGES=(g++ ninja-build fonts-baekmuk fonts-dejavu-core)

# Installs the named Debian packages that are not installed yet.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# Installs what debian/control says the package is built with, if missing.
need_build_deps() {
    need_packages dpkg-dev
    dpkg-checkbuilddeps "$ROOT/debian/control" 2>/dev/null && return 0
    echo "installing the build dependencies of debian/control"
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q "$ROOT"
}

# Configures (once) and builds a build folder: build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
    fi
    cmake --build "$dir"
}

# The fuzz targets are built with the release's default clang and the
# libFuzzer runtime of that clang's version, whichever it is.
need_fuzz_toolchain() {
    need_packages clang
    local major
    # The unversioned package depends on clang-N, N being that version.
    major=$(dpkg-query -W -f='${Depends}' clang | grep -o 'clang-[0-9]*' | head -n1)
    major=${major#clang-}
    need_packages "libclang-rt-$major-dev"
}

# Runs a command on a headless X display of its own (Xvfb, true colour, as
# the install tests' colour checks need): with_headless_display CMD [ARGS...]
# Without -noreset the server resets whenever its last client leaves, and a
# test program that connects in that moment cannot open the display.
with_headless_display() {
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"
}
