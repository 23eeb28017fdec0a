#!/bin/bash
# Builds the Debian package with CPack into a folder of its own, checks its
# control fields and lintian's verdict, then unpacks it and runs the same
# installed-application checks on what the package really holds.
#
# usage: check_deb.sh --build DIR --data DIR --close-helper PROG [--cpack PROG] [--keep]
set -euo pipefail

build= data= close_helper= keep= cpack=cpack
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --data) data=$2; shift 2 ;;
        --close-helper) close_helper=$2; shift 2 ;;
        --cpack) cpack=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$build" ] && [ -n "$data" ] && [ -n "$close_helper" ] || { echo "usage: $0 --build DIR --data DIR --close-helper PROG" >&2; exit 2; }

for tool in "$cpack" dpkg-deb dpkg-shlibdeps dpkg ldd lintian file; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvel-deb-test.XXXXXX")
cleanup() { if [ -n "$keep" ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi; }
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# -B keeps CPack's staging and output away from the build folder's own.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; echo "FAIL: cpack -G DEB failed"; exit 1; }
debs=("$tmp"/pkg/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "orvel_0.01_${arch}.deb" ] && pass "built $(basename "$deb")" ||
    fail "package file is $(basename "$deb"), expected orvel_0.01_${arch}.deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvel ] || fail "Package: $(field Package)"
[ "$(field Version)" = 0.01 ] && pass "Version: 0.01" || fail "Version: $(field Version), expected 0.01"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Section)" ] || fail "no Section"
depends=$(field Depends)
echo "Depends: $depends"
# Declared by hand, and what dpkg-shlibdeps read off the program itself.
dep_names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for dep in fonts-baekmuk libc6 libstdc++6; do
    grep -Fxq "$dep" <<<"$dep_names" && pass "depends on $dep" || fail "does not depend on $dep"
done
dpkg-deb -x "$deb" "$tmp/unpacked"
# The toolkit's GTK library and its base library: whatever this release calls
# their packages, the package must depend on the ones the program loads.
for lib in libwx_gtk3u_core libwx_baseu; do
    path=$(ldd "$tmp/unpacked/usr/bin/orvel" | awk -v l="$lib-" 'index($1, l) == 1 { print $3 }')
    if [ -z "$path" ]; then
        fail "the program does not load $lib"
        continue
    fi
    real=$(readlink -f "$path")
    owner=$( (dpkg -S "$real" || dpkg -S "${real#/usr}") 2>/dev/null | head -n1 | sed 's/[:,].*//') || true
    if [ -z "$owner" ]; then
        fail "no installed package holds $real"
    elif grep -Fxq "$owner" <<<"$dep_names"; then
        pass "depends on $owner, which holds $(basename "$real")"
    else
        fail "does not depend on $owner, which holds $(basename "$real")"
    fi
done

# Errors fail; warnings are printed for whoever reads the log.
lintian_out=$(lintian --fail-on error "$deb" 2>&1) && lintian_rc=0 || lintian_rc=$?
lintian_out=$(grep -v 'running with root privileges' <<<"$lintian_out" || true)
echo "lintian said:${lintian_out:+$'\n'}${lintian_out:- nothing}"
[ "$lintian_rc" -eq 0 ] && pass "lintian reports no errors" || fail "lintian reports errors (status $lintian_rc)"

if [ -x "$tmp/unpacked/usr/bin/orvel" ]; then
    file "$tmp/unpacked/usr/bin/orvel" | grep -q ', stripped' ||
        fail "/usr/bin/orvel in the package is not stripped"
else
    fail "the package holds no executable /usr/bin/orvel"
fi

status=0
bash "$(dirname "$0")/check_installed.sh" --root "$tmp/unpacked" --data "$data" \
    --close-helper "$close_helper" ${keep:+--keep} || status=$?
[ "$status" -eq 0 ] && pass "the unpacked package passes the installed-application checks" ||
    fail "the unpacked package fails the installed-application checks"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    keep=1
    exit 1
fi
echo "all Debian package checks passed"
