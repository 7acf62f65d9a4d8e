#!/bin/sh
# Builds the guest's initramfs from busybox, /init and the modules that reach the host's root
# over 9p and the USB adapter, in an order each can load in; prints the kernel to boot with it.
# Usage: initramfs.sh INIT OUTPUT
set -eu
init=$1 output=$2
version=$(ls /lib/modules | sort -V | tail -n 1)
kernel=/boot/vmlinuz-$version modules=/lib/modules/$version
[ -r "$kernel" ] || { echo "no kernel $kernel to boot (install linux-image-amd64)" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/bin" "$root/mod"
cp /bin/busybox "$root/bin/busybox"
install -m 755 "$init" "$root/init"
# modules.dep lists every module a module needs, the last to be loaded first.
for wanted in virtio_pci 9pnet_virtio 9p xhci-pci ftdi_sio; do
    line=$(grep "/$wanted.ko:" "$modules/modules.dep")
    for module in $(echo "${line#*:}" | tr ' ' '\n' | tac) "${line%%:*}"; do
        name=$(basename "$module")
        [ -e "$root/mod/$name" ] && continue
        cp "$modules/$module" "$root/mod/$name"
        echo "$name" >>"$root/mod/order"
    done
done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$output"
echo "$kernel"
