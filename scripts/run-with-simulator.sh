#!/bin/sh
# Opens vantrel with COM1 connected to the simulated controller, and stops the simulator when
# the window closes. Arguments go to the simulator (see build/vantrel-plcsim --help).
set -e
cd "$(dirname "$0")/.."
link="${TMPDIR:-/tmp}/vantrel-com1-$$"
build/vantrel-plcsim --link "$link" "$@" &
simulator=$!
trap 'kill $simulator 2>/dev/null; wait $simulator 2>/dev/null || true' EXIT INT TERM

# The simulator makes the link once its pseudo-terminal is ready; give it up to five seconds.
tries=0
while [ ! -L "$link" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $simulator 2>/dev/null; then
        echo "the simulator did not start" >&2
        exit 1
    fi
    sleep 0.05
done
VANTREL_COM1="$link" build/vantrel
