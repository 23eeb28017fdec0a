#!/usr/bin/env bash
# Proves the README's test command on a new machine: builds a clean Debian
# root of the given release with mmdebstrap, puts a clean clone of the
# committed tree in it, and runs ./scripts/test.sh there, as root or as a new
# user who may use sudo, in a mount namespace of its own where "/" is a mount
# point with the kernel's /proc, /sys and /dev. Says PASSED or FAILED.
#
#   sudo scripts/fresh-machine.sh RELEASE [--user] [--keep] [--dir DIR]
#
# RELEASE is a Debian release name (bookworm, trixie). The mirror is the one
# this machine's apt uses for Debian, else Debian's default. The root is
# removed afterwards unless --keep; the log is kept beside it.
set -euo pipefail

release= as_user= keep= base=${TMPDIR:-/var/tmp}
while [ $# -gt 0 ]; do
    case $1 in
        --user) as_user=1; shift ;;
        --keep) keep=1; shift ;;
        --dir) base=$2; shift 2 ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) release=$1; shift ;;
    esac
done
[ -n "$release" ] || { echo "usage: $0 RELEASE [--user] [--keep] [--dir DIR]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (mmdebstrap, mounts, chroot)" >&2; exit 2; }
command -v mmdebstrap >/dev/null || { echo "$0: apt-get install mmdebstrap" >&2; exit 2; }

src=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$src" rev-parse HEAD)
if [ -n "$(git -C "$src" status --porcelain --untracked-files=no)" ]; then
    echo "note: uncommitted changes are left out; testing $commit" >&2
fi

# The Debian archive and its security archive as this machine's apt reaches
# them (a local mirror or proxy is kept), else Debian's own.
mirror=$(apt-get indextargets --format '$(LABEL) $(REPO_URI)' 'Identifier: Packages' 2>/dev/null |
    awk '$1 == "Debian" { print $2; exit }')
security=$(apt-get indextargets --format '$(LABEL) $(REPO_URI)' 'Identifier: Packages' 2>/dev/null |
    awk '$1 == "Debian-Security" { print $2; exit }')
mirror=${mirror:-http://deb.debian.org/debian/}
security=${security:-http://deb.debian.org/debian-security/}

who=root
[ -n "$as_user" ] && who=user
work=$(mktemp -d "$base/orvel-fresh-$release-$who.XXXXXX")
root=$work/root
log=$work/log.txt
start=$SECONDS
finish() {
    local rc=$?
    if [ -z "$keep" ] && [ -d "$root" ]; then
        rm -rf --one-file-system "$root"
    fi
    if [ "$rc" -eq 0 ]; then
        echo "fresh-machine $release as $who: PASSED in $((SECONDS - start)) s (log $log)"
    else
        tail -n 25 "$log" 2>/dev/null || true
        echo "fresh-machine $release as $who: FAILED (status $rc) after $((SECONDS - start)) s (log $log)"
    fi
}
trap finish EXIT

echo "== $release from $mirror into $root"
# A minimal installed system; sudo only for the user who needs it.
mmdebstrap --mode=root --variant=important ${as_user:+--include=sudo} "$release" "$root" \
    "deb $mirror $release main" "deb $mirror $release-updates main" \
    "deb $security $release-security main" >"$log" 2>&1

# The committed tree only: no build folders, no local files.
home=/root
if [ -n "$as_user" ]; then
    chroot "$root" useradd --create-home --shell /bin/bash --groups sudo newcomer
    echo 'newcomer ALL=(ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/newcomer"
    chmod 0440 "$root/etc/sudoers.d/newcomer"
    home=/home/newcomer
fi
git clone --quiet --no-checkout "$src" "$root$home/orvel"
git -C "$root$home/orvel" checkout --quiet --detach "$commit"
[ -n "$as_user" ] && chroot "$root" chown -R newcomer:newcomer "$home/orvel"

# What a new user types, in a login shell with a clean environment.
if [ -n "$as_user" ]; then
    run=(su --login newcomer --command "cd ~/orvel && ./scripts/test.sh")
else
    run=(env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
         bash --login -c "cd ~/orvel && ./scripts/test.sh")
fi
echo "== ./scripts/test.sh as $who (commit ${commit:0:12})"
unshare --mount --propagation private -- bash -euc '
    root=$1; shift
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    exec chroot "$root" "$@"' fresh "$root" "${run[@]}" 2>&1 | tee -a "$log"
exit "${PIPESTATUS[0]}"
