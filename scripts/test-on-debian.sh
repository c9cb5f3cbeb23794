#!/usr/bin/env bash
# Runs the test command on a fresh Debian as a new user would: a minimal chroot of RELEASE made with
# debootstrap from Debian's archive, a clone of this repository's committed tree in it, and
# `bash scripts/test.sh` run there as root. Needs root; installs debootstrap on the host if need be.
#   bash scripts/test-on-debian.sh RELEASE [--keep] [--mirror URL] [--first-stage | --command 'CMD']
# RELEASE: bookworm, trixie, forky, sid, … --keep leaves the chroot in /work/chroots/RELEASE (without
# its mounts) and reuses it on the next --keep run; --first-stage stops the test command after its
# first build and tests; --command runs CMD in the clone instead. The archive is the one this machine's
# apt is set up to use (a mirror or a proxy included), unless --mirror names another.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
usage="usage: $0 RELEASE [--keep] [--mirror URL] [--first-stage | --command 'CMD']"
release=${1:?$usage}
shift
keep=0
mirror=
command="bash scripts/test.sh"
while [ $# -gt 0 ]; do
    case $1 in
    --keep) keep=1 ;;
    --mirror) mirror=${2:?$usage} && shift ;;
    --first-stage) command="sed '/^echo \"== build with sanitizers/,\$d' scripts/test.sh >scripts/first-stage.sh &&
        bash scripts/first-stage.sh" ;;
    --command) command=${2:?$usage} && shift ;;
    *) echo "$usage" >&2 && exit 2 ;;
    esac
    shift
done
if ! command -v debootstrap >/dev/null; then
    echo "Installing: debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq debootstrap >/dev/null
fi
repo=$FLURBER_ROOT
base=${FLURBER_CHROOTS:-/work/chroots}
[ -n "$mirror" ] || mirror=$(flurber_debian_archive)
mkdir -p "$base"
if [ $keep = 1 ]; then
    root=$base/$release
    mkdir -p "$root"
else
    root=$(mktemp -d "$base/$release.XXXXXX")
fi
# It becomes the chroot's /, which every user must be able to enter, as on a real system (mktemp
# makes it 0700): the tests that give root up would find nothing.
chmod 755 "$root"

mounts_under_root() {
    # Deepest first, so that /dev/pts goes before /dev.
    awk -v r="$root/" 'index($5, r) == 1 { print $5 }' /proc/self/mountinfo | sort -r
}
cleanup() {
    trap - EXIT INT TERM
    local m
    for m in $(mounts_under_root); do umount -l "$m" 2>/dev/null || true; done
    if [ -n "$(mounts_under_root)" ]; then
        echo "Still mounted under $root; left in place:" >&2
        mounts_under_root >&2
    elif [ $keep = 0 ]; then
        # Nothing is mounted any more; --one-file-system guards the host all the same.
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start=$SECONDS
if [ ! -x "$root/bin/bash" ]; then
    script=()
    # Releases newer than the host's debootstrap knows are made like sid.
    [ -e "/usr/share/debootstrap/scripts/$release" ] || script=(/usr/share/debootstrap/scripts/sid)
    echo "== debootstrap $release from $mirror into $root"
    debootstrap --variant=minbase "$release" "$root" "$mirror" "${script[@]}" >"$root.debootstrap.log" ||
        { tail -20 "$root.debootstrap.log" >&2 && exit 1; }
    rm -f "$root.debootstrap.log"
    # Testing's Release file as served here can be past its Valid-Until date.
    echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99valid-until"
    # No services start inside the chroot.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" && chmod +x "$root/usr/sbin/policy-rc.d"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Certificate authorities added on the host (a proxy that looks into TLS) are the chroot's too:
# npm's downloads go out the same way as the host's. ca-certificates, once installed, takes them.
if [ -n "$(ls -A /usr/local/share/ca-certificates 2>/dev/null)" ]; then
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp -r /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
    if [ -x "$root/usr/sbin/update-ca-certificates" ]; then
        chroot "$root" /usr/sbin/update-ca-certificates >/dev/null 2>&1 || true
    fi
fi
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
mountpoint -q "$root/dev/pts" || mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/tmp"

rm -rf --one-file-system "$root/root/flurber"
git clone --quiet "$repo" "$root/root/flurber"
echo "== $release: $(cat "$root/etc/debian_version"), commit $(git -C "$repo" rev-parse --short HEAD)"
echo "== running: $command"
status=0
chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/flurber && $command" || status=$?
echo "== $release: exit code $status after $((SECONDS - start)) s"
exit $status
