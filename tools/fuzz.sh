#!/bin/sh
# Runs one fuzz target, building the clang fuzz build in build-fuzz/ first when needed.
#   sh tools/fuzz.sh TARGET [SECONDS] [libFuzzer options...]
# TARGET is a file name under fuzz/ without "fuzz_" and ".cpp" (timeout, settings, framing,
# latin1, exchange, responselog, commandreader, portsfile). Without SECONDS it runs until stopped.
# New inputs go to build-fuzz/corpus/TARGET, a failing input to build-fuzz/.
set -e
cd "$(dirname "$0")/.."
[ -n "$1" ] && [ -f "fuzz/fuzz_$1.cpp" ] || { sed -n '2,6p' "$0" >&2; exit 2; }
target=$1
shift
case "$1" in
'' | *[!0-9]*) ;;
*) seconds=$1; shift; set -- -max_total_time="$seconds" "$@" ;;
esac
case $target in
# Qt's text layout keeps caches for later runs; checking every run for leaks would take them
# for leaks and scan the whole heap each time (leaks are still looked for at exit). Short
# inputs hold every byte value and keep the layout work per run small.
responselog) set -- -detect_leaks=0 -max_len=512 "$@" ;;
esac

[ -f build-fuzz/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVANTREL_FUZZ=ON \
    -DBUILD_TESTING=OFF
cmake --build build-fuzz -j2 --target "fuzz_$target" >/dev/null
mkdir -p "build-fuzz/corpus/$target"
# An input that runs 30 s is a hang (an exchange that never returns, say), and fails the run.
LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp" exec "build-fuzz/fuzz_$target" \
    -artifact_prefix=build-fuzz/ -timeout=30 "$@" "build-fuzz/corpus/$target" "fuzz/corpus/$target"
