# Makes the Debian changelog or the AppStream release list from NEWS.md, so that release notes
# are written in one place (the format is described at the top of NEWS.md).
#   awk -f releasenotes.awk -v out=FILE -v format=changelog -v package=NAME -v maintainer=M NEWS.md
#   awk -f releasenotes.awk -v out=FILE -v format=appstream NEWS.md TEMPLATE
# The second form writes TEMPLATE with its line "@RELEASES@" replaced by the <releases> element.

function fail(why) {
    printf "%s:%d: %s\n", FILENAME, FNR, why > "/dev/stderr"
    failed = 1
    exit 1
}

# RFC 2822 date; releases of one day are a minute apart, oldest first, so the changelog's dates
# still rise from entry to entry as Debian's tools require.
function changelogDate(date, minute,    y, m, d, offsets, weekday) {
    y = substr(date, 1, 4) + 0; m = substr(date, 6, 2) + 0; d = substr(date, 9, 2) + 0
    split("0 3 2 5 0 3 5 1 4 6 2 4", offsets, " ")
    weekday = y - (m < 3)
    weekday = (weekday + int(weekday / 4) - int(weekday / 100) + int(weekday / 400) + offsets[m] + d) % 7
    return sprintf("%s, %02d %s %d 00:%02d:00 +0000", substr("SunMonTueWedThuFriSat", weekday * 3 + 1, 3),
                   d, substr("JanFebMarAprMayJunJulAugSepOctNovDec", m * 3 - 2, 3), y, minute)
}

function emit(line) {
    print line > out
}

function xml(text) {
    gsub(/&/, "\\&amp;", text); gsub(/</, "\\&lt;", text); gsub(/>/, "\\&gt;", text)
    gsub(/`/, "", text); gsub(/\n/, " ", text)
    return text
}

FNR == NR && /^## / {
    if ($0 !~ /^## [0-9][0-9A-Za-z.+~]* \([0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]\)$/)
        fail("a release heading reads \"## VERSION (YYYY-MM-DD)\"")
    releases++
    version[releases] = $2
    date[releases] = substr($3, 2, 10)
    next
}
FNR == NR && releases && /^- / { item[releases, ++items[releases]] = substr($0, 3); next }
FNR == NR && releases && items[releases] && /^  [^ ]/ {
    item[releases, items[releases]] = item[releases, items[releases]] "\n" substr($0, 3)
    next
}
FNR == NR && releases && !/^$/ { fail("a release lists its changes as \"- \" items") }
FNR == NR { next }

FNR != NR && !releases { fail("NEWS.md has no release heading") }
format == "appstream" && $0 ~ /^ *@RELEASES@$/ {
    indent = substr($0, 1, index($0, "@") - 1)
    emit(indent "<releases>")
    for (r = 1; r <= releases; r++) {
        emit(sprintf("%s  <release version=\"%s\" date=\"%s\">", indent, version[r], date[r]))
        emit(indent "    <description>")
        emit(indent "      <ul>")
        for (i = 1; i <= items[r]; i++)
            emit(indent "        <li>" xml(item[r, i]) "</li>")
        emit(indent "      </ul>")
        emit(indent "    </description>")
        emit(indent "  </release>")
    }
    emit(indent "</releases>")
    next
}
format == "appstream" { emit($0) }

END {
    if (failed)
        exit 1
    if (format != "changelog")
        exit 0
    if (!releases) {
        print "NEWS.md has no release heading" > "/dev/stderr"
        exit 1
    }
    for (r = 1; r <= releases; r++) {
        emit(sprintf("%s (%s) unstable; urgency=medium\n", package, version[r]))
        for (i = 1; i <= items[r]; i++) {
            text = item[r, i]
            gsub(/\n/, "\n    ", text)
            emit("  * " text)
        }
        emit(sprintf("\n -- %s  %s", maintainer, changelogDate(date[r], releases - r)))
        if (r < releases)
            emit("")
    }
}
