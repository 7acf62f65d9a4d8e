#!/bin/sh
# Installs what vantrel needs to build, test and run on Debian 12. Does nothing when all of it
# is already there.
set -e
packages="cmake g++ make qt6-base-dev qt6-serialport-dev qt6-svg-dev util-linux fonts-liberation xvfb xauth
    desktop-file-utils appstream man-db groff-base dpkg-dev file xdotool e2fsprogs lintian python3
    socat jq strace qemu-system-x86 linux-image-amd64 busybox-static cpio udev"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y $missing
