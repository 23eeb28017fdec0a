#!/bin/bash
# Installs orvel into a staging folder (or takes an unpacked package), checks
# the desktop entry, metainfo and icons there, and starts the installed window
# the way the desktop menu does, from an unrelated folder, under X. It looks at
# the information page and checks that its logo is really drawn; the bare
# program started away from its pictures must show no logo, which proves the
# check can tell the difference.
#
# usage: check_installed.sh --build DIR | --root DIR
#            --data DIR --close-helper PROG [--cmake PROG] [--keep]
set -euo pipefail

APP_ID=io.github.orvel.SystemManager
TITLE="Orvel System Manager"
LOGO=talvik_temp.jpg

args=("$@")
build= root= data= close_helper= keep= cmake=cmake
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --root) root=$2; shift 2 ;;
        --data) data=$2; shift 2 ;;
        --close-helper) close_helper=$2; shift 2 ;;
        --cmake) cmake=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$data" ] && [ -n "$close_helper" ] && { [ -n "$build" ] || [ -n "$root" ]; } ||
    { echo "usage: $0 --build DIR|--root DIR --data DIR --close-helper PROG" >&2; exit 2; }

# The colour comparison needs a true-colour screen; without one, bring our own.
display_ok() {
    [ -n "${DISPLAY:-}" ] || return 1
    local depth
    depth=$(xwininfo -root 2>/dev/null | sed -n 's/^ *Depth: *//p')
    [ "${depth:-0}" -ge 24 ]
}
if ! display_ok; then
    if [ -n "${ORVEL_TEST_OWN_XVFB:-}" ]; then
        echo "FAIL: no usable X display even on a headless one of our own" >&2
        exit 1
    fi
    echo "note: DISPLAY='${DISPLAY:-}' is unset or not 24-bit; starting a headless display"
    export ORVEL_TEST_OWN_XVFB=1
    source "$(dirname "$0")/../../scripts/common.sh"
    with_headless_display bash "$0" "${args[@]}"
    exit
fi

for tool in desktop-file-validate appstreamcli hardening-check objdump xdotool xprop import convert compare identify; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvel-install-test.XXXXXX")
running_pid=
cleanup() {
    if [ -n "$running_pid" ] && kill -0 "$running_pid" 2>/dev/null; then
        kill -KILL "$running_pid" 2>/dev/null || true
    fi
    if [ -n "$keep" ]; then echo "kept $tmp"; else rm -rf "$tmp"; fi
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
die() { echo "FAIL: $*"; keep=1; exit 1; }

# ---- the installed tree -------------------------------------------------
if [ -n "$build" ]; then
    root=$tmp/root
    DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
        { cat "$tmp/install.log"; die "cmake --install failed"; }
    pass "installed into DESTDIR $root with prefix /usr"
fi
[ -d "$root/usr" ] || die "$root/usr does not exist"

need_file() { [ -f "$root$1" ] || fail "missing $1"; }
need_file /usr/bin/orvel
[ -x "$root/usr/bin/orvel" ] || fail "/usr/bin/orvel is not executable"
# The program parses what any user writes into /proc, so it carries the
# protections of every Debian package. The lines are read one by one: control
# flow protection is out of reach (Debian's C start files lack the CET mark),
# and Debian 13's hardening-check asks for ARM's branch protection on amd64.
hardening=$(hardening-check "$root/usr/bin/orvel" 2>&1 || true)
for line in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
            "Read-only relocations" "Immediate binding"; do
    grep -Eq "^ *$line: yes" <<<"$hardening" && pass "hardening-check: $line: yes" ||
        fail "hardening-check: $(grep -E "^ *$line:" <<<"$hardening" || echo "$line: not reported")"
done
# hardening-check does not know gcc's probe loop for fixed frames and says
# "unknown" for stack clash; the probes themselves tell.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
    grep -Eq 'orq +\$0x0,\(%rsp\)' <<<"$(objdump -d "$root/usr/bin/orvel")" &&
        pass "stack clash probes in /usr/bin/orvel" || fail "no stack clash probes in /usr/bin/orvel"
fi
for pic in talvik_temp.jpg grid.jpg; do
    if cmp -s "$data/$pic" "$root/usr/share/orvel/$pic"; then
        pass "/usr/share/orvel/$pic is the project's picture"
    else
        fail "/usr/share/orvel/$pic is missing or differs from $data/$pic"
    fi
done
for size in 48 64 128; do
    png=/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png
    got=$(identify -format '%m %wx%h' "$root$png" 2>/dev/null || true)
    [ "$got" = "PNG ${size}x${size}" ] && pass "$png is a ${size}x${size} PNG" ||
        fail "$png: expected a ${size}x${size} PNG, found '${got:-nothing}'"
done
need_file /usr/share/icons/hicolor/scalable/apps/$APP_ID.svg
need_file /usr/share/man/man1/orvel.1.gz
need_file /usr/share/doc/orvel/copyright

desktop=$root/usr/share/applications/$APP_ID.desktop
metainfo=$root/usr/share/metainfo/$APP_ID.metainfo.xml
[ -f "$desktop" ] || die "missing /usr/share/applications/$APP_ID.desktop"
[ -f "$metainfo" ] || die "missing /usr/share/metainfo/$APP_ID.metainfo.xml"

# The entry validates without a word; even a hint (no main category, say)
# means menus may misfile it.
if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate: $out"
fi
if out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
    pass "appstreamcli validate --no-net"
else
    fail "appstreamcli validate --no-net: $out"
fi
# The tree check also ties the metainfo's launchable to the installed entry.
if out=$(appstreamcli validate-tree --no-net "$root" 2>&1); then
    pass "appstreamcli validate-tree --no-net"
else
    fail "appstreamcli validate-tree --no-net: $out"
fi

# Keys of the [Desktop Entry] group only.
entry_key() {
    awk -v key="$1" '
        /^\[/ { in_entry = ($0 == "[Desktop Entry]"); next }
        in_entry && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
    ' "$desktop"
}
icon=$(entry_key Icon)
[ "$icon" = "$APP_ID" ] || fail "Icon=$icon, expected $APP_ID"
exec_line=$(entry_key Exec)
path_key=$(entry_key Path)
tryexec=$(entry_key TryExec)
wm_class=$(entry_key StartupWMClass)
[ -n "$exec_line" ] || die "the desktop entry has no Exec="
case $exec_line in *[\"\'\\]*) die "Exec= uses quoting, which this test does not parse: $exec_line" ;; esac
# Field codes (%f, %U...) expand to nothing when started from the menu.
read -r -a exec_words <<<"${exec_line//%[fFuUdDnNickvm]/}"

# A program named by an absolute path is looked up in the staged tree;
# a bare name the way PATH would find it there.
resolve() {
    case $1 in
        /*) echo "$root$1" ;;
        *) for d in /usr/bin /bin /usr/local/bin; do
               [ -x "$root$d/$1" ] && { echo "$root$d/$1"; return; }
           done
           echo "$root/usr/bin/$1" ;;
    esac
}
program=$(resolve "${exec_words[0]}")
[ -x "$program" ] || die "Exec= program ${exec_words[0]} is not an executable in the staged tree"
[ -z "$tryexec" ] || [ -x "$(resolve "$tryexec")" ] || fail "TryExec=$tryexec is not executable"
if [ -n "$path_key" ]; then
    [ -f "$root$path_key/$LOGO" ] && pass "Path=$path_key holds $LOGO" ||
        fail "Path=$path_key does not hold $LOGO"
fi
echo "desktop entry: Exec=$exec_line Path=${path_key:-<none>}"

# ---- the window ---------------------------------------------------------
ref=$data/$LOGO
ref_w=$(identify -format %w "$ref")
ref_h=$(identify -format %h "$ref")

# Bounding box and pixel count of one colour: the logo's orange bar is an
# 11x95 block that nothing else in the window is drawn in.
colour_box() {
    convert "$1" -alpha off -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" \
        -format '%[fx:round(mean*w*h)] %@' info: 2>/dev/null
}
read -r ref_count ref_box <<<"$(colour_box "$ref" '#e07a1f')"
IFS='x+' read -r ref_bw ref_bh ref_bx ref_by <<<"$ref_box"

# Prints where the logo is drawn, or why it is not there. Exit 0 when found.
find_logo() {
    local shot=$1 count box bw bh bx by x y rmse
    read -r count box <<<"$(colour_box "$shot" '#e07a1f')"
    if [ "${count:-0}" -eq 0 ]; then echo "no logo orange in the window"; return 1; fi
    IFS='x+' read -r bw bh bx by <<<"$box"
    if [ $((bw - ref_bw)) -lt -2 ] || [ $((bw - ref_bw)) -gt 2 ] ||
       [ $((bh - ref_bh)) -lt -2 ] || [ $((bh - ref_bh)) -gt 2 ]; then
        echo "orange area is ${bw}x${bh}, the logo's bar is ${ref_bw}x${ref_bh}"; return 1
    fi
    x=$((bx - ref_bx)) y=$((by - ref_by))
    if [ "$x" -lt 0 ] || [ "$y" -lt 0 ]; then echo "logo would start outside the window"; return 1; fi
    # Pixel by pixel against the picture file, as the window should show it.
    convert "$shot" -crop "${ref_w}x${ref_h}+$x+$y" +repage "$tmp/crop.png"
    [ "$(identify -format %wx%h "$tmp/crop.png")" = "${ref_w}x${ref_h}" ] ||
        { echo "logo at +$x+$y does not fit in the window"; return 1; }
    rmse=$(compare -metric RMSE "$ref" "$tmp/crop.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    if awk -v e="${rmse:-1}" 'BEGIN { exit !(e < 0.05) }'; then
        echo "logo drawn at +$x+$y of the window (RMSE $rmse against $LOGO)"; return 0
    fi
    echo "area at +$x+$y differs from $LOGO (RMSE $rmse)"; return 1
}

# A window being resized can refuse one grab; a second try gets it.
shoot() {
    local try
    for try in 1 2 3 4 5; do
        import -silent -window "$1" "$2" 2>"$tmp/import.err" && return 0
        sleep 0.2
    done
    cat "$tmp/import.err"
    die "cannot take a screenshot of window $1"
}

# Starts a command in a folder, brings up the information page, reports
# whether the logo is drawn, then closes the window. Sets $logo_found.
logo_found=
run_window() {
    local label=$1 cwd=$2 name=$3 log=$tmp/$3.log
    shift 3
    local pid wid= i verdict status
    echo "--- $label"
    echo "    cd $cwd && $*"
    ( cd "$cwd" && NO_AT_BRIDGE=1 exec "$@" ) >"$log" 2>&1 &
    pid=$!
    running_pid=$pid
    for i in $(seq 1 100); do
        wid=$(xdotool search --all --onlyvisible --pid "$pid" --name "^$TITLE\$" 2>/dev/null | head -n 1 || true)
        [ -n "$wid" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if [ -z "$wid" ]; then
        cat "$log"
        die "$label: no window titled '$TITLE' appeared"
    fi
    # Docks tie the window to its menu entry through this class.
    if [ -n "$wm_class" ]; then
        local classes
        classes=$(xprop -id "$wid" WM_CLASS)
        grep -Fq "\"$wm_class\"" <<<"$classes" && pass "$label: window class matches StartupWMClass=$wm_class" ||
            fail "$label: StartupWMClass=$wm_class, but the window has $classes"
    fi
    xdotool windowraise "$wid"
    xdotool windowfocus --sync "$wid" || true
    settle "$wid" "$tmp/before.ppm"

    # The information page is the notebook's third tab.
    xdotool key --clearmodifiers ctrl+Next
    sleep 0.3
    xdotool key --clearmodifiers ctrl+Next
    settle "$wid" "$tmp/after.ppm" "$tmp/before.ppm"
    cp "$tmp/after.ppm" "$tmp/$name.ppm"
    if cmp -s "$tmp/before.ppm" "$tmp/after.ppm"; then
        fail "$label: the window did not change when switching to the information page"
    fi
    # A dialog of its own (an error message, say) would take the keys.
    local other
    for other in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true); do
        [ "$other" = "$wid" ] && continue
        echo "    note: it also shows a window titled '$(xdotool getwindowname "$other" 2>/dev/null)'"
    done

    # A loaded machine may settle on the page between before the keys have
    # all been taken: the logo is looked for until it comes, or for 15 s.
    logo_found=
    for i in $(seq 1 30); do
        verdict=$(find_logo "$tmp/after.ppm") && { logo_found=1; break; }
        sleep 0.5
        shoot "$wid" "$tmp/after.ppm"
    done
    echo "    $verdict"

    "$close_helper" "$wid" || fail "$label: could not ask the window to close"
    for i in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"
        wait "$pid" 2>/dev/null || true
        fail "$label: still running 10 s after its window was closed"
    else
        status=0
        wait "$pid" || status=$?
        [ "$status" -eq 0 ] && pass "$label: ended with status 0 when its window was closed" ||
            fail "$label: ended with status $status when its window was closed"
    fi
    running_pid=
    if grep -Eq 'CRITICAL|ERROR|Segmentation|Aborted' "$log"; then
        echo "    its output:"; sed 's/^/    | /' "$log"
    fi
}

# Waits until two screenshots in a row agree, so that the page is drawn,
# and, given an earlier screenshot, until the window has changed from it.
settle() {
    local wid=$1 out=$2 earlier=${3:-} i
    shoot "$wid" "$tmp/s0.ppm"
    for i in $(seq 1 30); do
        sleep 0.3
        shoot "$wid" "$tmp/s1.ppm"
        if cmp -s "$tmp/s0.ppm" "$tmp/s1.ppm" &&
           { [ -z "$earlier" ] || ! cmp -s "$earlier" "$tmp/s1.ppm"; }; then
            break
        fi
        mv "$tmp/s1.ppm" "$tmp/s0.ppm"
    done
    mv "$tmp/s0.ppm" "$out"
    rm -f "$tmp/s1.ppm"
}

elsewhere=$tmp/elsewhere
mkdir -p "$elsewhere"

run_window "as the menu starts it: in Path=, running Exec=" "$root${path_key:-/}" menu \
    "$program" "${exec_words[@]:1}"
[ -n "$logo_found" ] && pass "menu start shows the logo" || fail "menu start shows no logo"

run_window "Exec= from an unrelated folder (launchers that ignore Path=)" "$elsewhere" nopath \
    "$program" "${exec_words[@]:1}"
[ -n "$logo_found" ] && pass "Exec= alone shows the logo" || fail "Exec= alone shows no logo"

# Negative control: the bare program away from its pictures must not pass.
run_window "bare /usr/bin/orvel from a folder without pictures" "$elsewhere" bare \
    "$root/usr/bin/orvel"
[ -z "$logo_found" ] && pass "without its pictures the window shows no logo, so the check discriminates" ||
    fail "the logo check also passes without the pictures; it proves nothing"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    keep=1
    exit 1
fi
echo "all installed-desktop-application checks passed"
