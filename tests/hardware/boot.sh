#!/bin/sh
# Boots the guest under QEMU: the newest installed Debian kernel, the host's root shared
# read-only, and an initramfs of busybox, the init beside this script and the modules that init
# loads (virtio and 9p for the host's root, xhci and ftdi_sio for the USB adapter), in an order
# each can load in. The guest's devices, monitor and traces are the caller's options.
# Usage: boot.sh FOLDER QEMU-OPTION...   (FOLDER: where the initramfs is made)
set -eu
here=$(realpath "$(dirname "$0")") root=$1/initramfs.d output=$1/initramfs
shift
need() { command -v "$1" >/dev/null || { echo "no $1 to boot the guest (install $2)" >&2; exit 1; }; }
need busybox busybox-static
need cpio cpio
need qemu-system-x86_64 qemu-system-x86
version=$(ls /lib/modules | sort -V | tail -n 1)
kernel=/boot/vmlinuz-$version modules=/lib/modules/$version
[ -r "$kernel" ] || { echo "no kernel $kernel to boot (install linux-image-amd64)" >&2; exit 1; }
mkdir -p "$root/bin" "$root/mod"
cp "$(command -v busybox)" "$root/bin/busybox"
install -m 755 "$here/init" "$root/init"
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
exec qemu-system-x86_64 -accel "${VANTREL_QEMU_ACCEL:-tcg}" -cpu max -m 512 -nodefaults \
    -no-user-config -display none -no-reboot -kernel "$kernel" -initrd "$output" \
    -append "console=ttyS0 loglevel=1 panic=-1 vantrel.setup=$here/guest.sh" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap "$@"
