#!/bin/sh
# The guest's setup on the host's root: its own /dev and /run (the host's /tmp stays in sight,
# as the build folder may be there), udev for the device names and groups, two ordinary users.
# Then it runs the host's commands, one a line from the console, each after a number of the
# host's choosing and followed by "@@rc", that number and its exit status.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts
mount -t devpts devpts /dev/pts
mount -t tmpfs run /run
mkdir -m 1777 /run/lock /run/tmp
export TMPDIR=/run/tmp

# Waits until a shell test holds, for at most 20 seconds.
waitfor() {
    timeout 20 sh -c "until $1; do sleep 0.05; done" || { echo "waitfor: still not $1"; return 1; }
}

/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add --subsystem-match=tty --subsystem-match=usb --subsystem-match=usb-serial
waitfor 'ls /dev/serial/by-id/* >/dev/null 2>&1'
export byid=$(echo /dev/serial/by-id/*)

# A technician in the dialout group, whose ports file maps COM2 to the adapter's by-id name, and
# a visitor outside the group.
{ cat /etc/passwd; echo technician:x:2001:2001::/run/technician:/bin/sh
  echo visitor:x:2002:2002::/run/visitor:/bin/sh; } >/run/passwd
{ sed '/^dialout:/{s/$/,technician/;s/:,/:/}' /etc/group; echo technician:x:2001:
  echo visitor:x:2002:; } >/run/group
mount --bind /run/passwd /etc/passwd
mount --bind /run/group /etc/group
install -d -m 700 -o technician -g technician /run/technician /run/technician/.config \
    /run/technician/.config/vantrel
install -d -m 700 -o visitor -g visitor /run/visitor
printf '[ports]\nCOM2=%s\n' "$byid" >/run/technician/.config/vantrel/ports.conf
as() {
    user=$1
    shift
    setpriv --reuid="$user" --regid="$user" --init-groups env HOME="/run/$user" \
        XDG_RUNTIME_DIR="/run/$user" QT_QPA_PLATFORM=offscreen "$@"
}
technician() { as technician "$@"; }
visitor() { as visitor "$@"; }

# Pulls the adapter out and plugs it back, waiting each time for its by-id name to go or come
# back. It fails unless the name then leads to a new node, as it must while the old one is held.
replug() {
    before=$(readlink -f "$byid")
    echo @@unplug && waitfor '[ ! -e $byid ]' && echo @@replug && waitfor '[ -e $byid ]' &&
        after=$(readlink -f "$byid") && echo "$before -> $after" && [ "$after" != "$before" ]
}

stty -F /dev/ttyS0 raw -echo
exec 4</dev/ttyS0 >/dev/ttyS0 2>&1 </dev/null
echo @@ready
while read -r number line <&4; do
    eval "$line"
    echo "@@rc $number $?"
done
