#!/bin/sh
# Checks data files with the tools their readers use; any complaint fails the test.
#   check-data.sh desktop FILE | metainfo FILE | man DIR (every compressed page in DIR)
set -u
kind=$1
target=$2

complaints() {
    case $kind in
    desktop) desktop-file-validate "$target" 2>&1 ;;
    metainfo)
        # Success is this one line; infos, warnings and pedantic hints are all listed.
        appstreamcli validate --no-net --pedantic "$target" 2>&1 |
            grep -v '^✔ Validation was successful\.$'
        ;;
    man)
        found=0
        for page in "$target"/*.[1-8].gz; do
            [ -f "$page" ] || continue
            found=1
            MANWIDTH=80 man --warnings=w -E UTF-8 -l "$page" 2>&1 >/dev/null |
                sed "s|^|$(basename "$page"): |"
            # A page must at least render its name and synopsis.
            MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | grep -q '^SYNOPSIS' ||
                echo "$(basename "$page"): renders no SYNOPSIS"
        done
        [ $found = 1 ] || echo "no manual pages in $target"
        ;;
    *) echo "unknown kind $kind" ;;
    esac
}

found=$(complaints)
[ -z "$found" ] && exit 0
printf '%s\n' "$found"
exit 1
