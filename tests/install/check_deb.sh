#!/bin/bash
# Builds the Debian package as Debian does (dpkg-buildpackage, from a copy of
# the source tree), checks its control fields, its debug symbols and
# lintian's verdict, then unpacks it and runs the same installed-application
# checks on what the package really holds.
#
# usage: check_deb.sh --source DIR --data DIR --close-helper PROG [--keep]
set -euo pipefail

source= data= close_helper= keep=
while [ $# -gt 0 ]; do
    case $1 in
        --source) source=$2; shift 2 ;;
        --data) data=$2; shift 2 ;;
        --close-helper) close_helper=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$source" ] && [ -n "$data" ] && [ -n "$close_helper" ] || { echo "usage: $0 --source DIR --data DIR --close-helper PROG" >&2; exit 2; }

for tool in dpkg-buildpackage dpkg-checkbuilddeps dpkg-deb dpkg ldd lintian file readelf; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done
dpkg-checkbuilddeps "$source/debian/control" ||
    { echo "FAIL: build dependencies missing (apt-get build-dep $source)" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvel-deb-test.XXXXXX")
cleanup() { if [ -n "$keep" ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi; }
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# dpkg-buildpackage builds in the tree and writes beside it, so it gets a
# copy: the files git knows and the new ones it does not ignore.
mkdir "$tmp/src"
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf -) | tar -xf - -C "$tmp/src"
else
    tar -C "$source" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -xf - -C "$tmp/src"
fi
(cd "$tmp/src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b) >"$tmp/build.log" 2>&1 ||
    { tail -n 60 "$tmp/build.log"; echo "FAIL: dpkg-buildpackage failed"; exit 1; }
arch=$(dpkg --print-architecture)
debs=$(cd "$tmp" && LC_ALL=C ls -- *.deb)
[ "$debs" = "orvel-dbgsym_0.01_${arch}.deb"$'\n'"orvel_0.01_${arch}.deb" ] &&
    pass "built $(echo $debs)" || { echo "FAIL: expected orvel_0.01 and its dbgsym, found: $(echo $debs)"; exit 1; }
deb=$tmp/orvel_0.01_${arch}.deb

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

# Warnings fail too, at every level lintian shows; the package overrides none.
lintian_out=$(lintian -EvIL +pedantic --fail-on error,warning "$tmp/orvel_0.01_${arch}.changes" 2>&1) &&
    lintian_rc=0 || lintian_rc=$?
lintian_out=$(grep -v 'running with root privileges' <<<"$lintian_out" || true)
echo "lintian -EvIL +pedantic said:${lintian_out:+$'\n'}${lintian_out:- nothing}"
[ "$lintian_rc" -eq 0 ] && pass "lintian reports no errors or warnings" ||
    fail "lintian reports errors or warnings (status $lintian_rc)"

if [ -x "$tmp/unpacked/usr/bin/orvel" ]; then
    file "$tmp/unpacked/usr/bin/orvel" | grep -q ', stripped' ||
        fail "/usr/bin/orvel in the package is not stripped"
    # Its symbols are in the debug package, under its build ID.
    build_id=$(readelf -n "$tmp/unpacked/usr/bin/orvel" | sed -n 's/^ *Build ID: *//p')
    debug=/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug
    if [ -n "$build_id" ] && grep -Fq ".$debug" <<<"$(dpkg-deb -c "$tmp/orvel-dbgsym_0.01_${arch}.deb")"; then
        pass "orvel-dbgsym holds $debug"
    else
        fail "orvel-dbgsym holds no $debug"
    fi
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
