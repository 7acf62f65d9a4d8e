#!/bin/sh
# Makes the two ordinary users that tests/tools/ordinaryuser.h runs programs as (the header
# says why and how), when run as root and they are missing: vantrel-tech, a technician in the
# dialout group, and vantrel-other, a second user who plants files. CTest runs this first as
# the fixture "ordinary_users". As anyone else it does nothing: the tests run as that user.
# The argument is the build folder, which vantrel-tech must be able to reach.
set -eu
[ "$(id -u)" -eq 0 ] || exit 0
getent group dialout >/dev/null || groupadd --system dialout
make_user() { # name, useradd options; a few tries, as other builds may add users at once
    for try in 1 2 3 4 5; do
        id "$1" >/dev/null 2>&1 && return 0
        useradd --system --home-dir /nonexistent --no-create-home --shell /usr/sbin/nologin "$@" ||
            sleep "$try"
    done
    id "$1" >/dev/null
}
make_user vantrel-tech --groups dialout
make_user vantrel-other
if ! setpriv --reuid=vantrel-tech --regid=vantrel-tech --init-groups test -r "$1/CMakeCache.txt"; then
    echo "ordinary-users.sh: vantrel-tech cannot reach the build folder $1;" \
        "build in a folder every user may enter (not below /root)" >&2
    exit 1
fi
