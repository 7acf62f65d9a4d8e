#!/bin/sh
# Checks the Debian package and the source release as a user gets them. Everything stays in the
# build folder (package-check/, source-check/).
#   package.sh deb BUILD VERSION APP_ID      exactly the programs and data files (no tests), the
#                                            fields and dependencies, one version everywhere,
#                                            programs that run from an unpacked copy
#   package.sh lintian BUILD                 lintian --pedantic on that package says nothing,
#                                            not even of hardening
#   package.sh source BUILD VERSION APP_ID SOURCE
#                                            the source release holds what git tracks, and
#                                            builds and installs with BUILD_TESTING off
set -eu
mode=$1
build=$2
version=${3:-}
app=${4:-}

fail() {
    printf '%s\n' "$@" >&2
    exit 1
}

expected="./usr/bin/vantrel
./usr/bin/vantrel-plcsim
./usr/bin/vantrel-send
./usr/share/applications/$app.desktop
./usr/share/doc/vantrel/changelog.gz
./usr/share/doc/vantrel/copyright
./usr/share/icons/hicolor/scalable/apps/$app.svg
./usr/share/man/man1/vantrel-plcsim.1.gz
./usr/share/man/man1/vantrel-send.1.gz
./usr/share/man/man1/vantrel.1.gz
./usr/share/metainfo/$app.metainfo.xml"

# The files under ROOT are the installed set, and each program, manual page, the AppStream
# release list and the changelog name VERSION (the changelog and release list come from NEWS.md,
# so its newest entry must be this version).
check_installed() {
    root=$1
    files=$(cd "$root" && find . ! -type d | LC_ALL=C sort)
    [ "$files" = "$expected" ] || fail "installed:" "$files" "expected:" "$expected"
    for program in vantrel vantrel-plcsim vantrel-send; do
        said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --version) ||
            fail "$program --version failed"
        [ "$said" = "$program $version" ] || fail "$program --version printed: $said"
        footer=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed -n 's/^\.TH .*"vantrel \([^"]*\)".*/\1/p')
        [ "$footer" = "$version" ] || fail "$program(1) gives the version as: $footer"
    done
    release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$root/usr/share/metainfo/$app.metainfo.xml" | head -n 1)
    [ "$release" = "$version" ] || fail "the newest AppStream release is $release (NEWS.md's top entry)"
    entry=$(zcat "$root/usr/share/doc/vantrel/changelog.gz" | head -n 1)
    [ "$entry" = "vantrel ($version) unstable; urgency=medium" ] ||
        fail "the changelog begins: $entry (NEWS.md's top entry)"
}

case $mode in
deb)
    work="$build/package-check"
    rm -rf "$work"
    mkdir -p "$work"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        fail "cpack failed:" "$(cat "$work/cpack.log")"
    deb=$(ls "$work"/vantrel_"$version"_*.deb) || fail "no vantrel_${version}_*.deb"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
    depends=$(dpkg-deb -f "$deb" Depends)
    for need in fonts-liberation qt6-qpa-plugins libqt6widgets6 libqt6serialport6 libc6; do
        case ", $depends," in
        *", $need "* | *", $need,"*) ;;
        *) fail "Depends lacks $need: $depends" ;;
        esac
    done
    dpkg-deb -x "$deb" "$work/root"
    check_installed "$work/root"
    ;;
lintian)
    deb=$(ls "$build"/package-check/vantrel_*.deb) || fail "no package: run package_deb first"
    # Root is warned against on standard error; tags, overridden ones aside, go to standard output.
    # Its informational tags too, but two: the compiler's .comment section, which cpack's strip
    # keeps (dh_strip would remove it) and which holds only the compiler's name; and fortified
    # functions missing where a program makes no call whose bounds the compiler cannot prove
    # (the window's reads and copies all are), so none needs a checked version.
    said=$(lintian --pedantic --display-info "$deb" 2>/dev/null) || fail "lintian failed:" "$said"
    said=$(printf '%s\n' "$said" |
        grep -v -e ': binary-has-unneeded-section \.comment ' -e ': hardening-no-fortify-functions ' ||
        true)
    [ -z "$said" ] || fail "$said"
    ;;
source)
    source=$5
    work="$build/source-check"
    rm -rf "$work"
    mkdir -p "$work"
    cpack --config "$build/CPackSourceConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        fail "cpack failed:" "$(cat "$work/cpack.log")"
    tarball="$work/vantrel-$version.tar.gz"
    [ -f "$tarball" ] || fail "no vantrel-$version.tar.gz:" "$(ls "$work")"
    if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        tar -tzf "$tarball" | grep -v '/$' | sed "s|^vantrel-$version/||" | LC_ALL=C sort >"$work/held"
        git -C "$source" ls-files | LC_ALL=C sort >"$work/tracked"
        differs=$(diff "$work/tracked" "$work/held") ||
            fail "the source release differs from what git tracks (< tracked, > in the release):" "$differs"
    fi
    tar -xzf "$tarball" -C "$work"
    {
        cmake -S "$work/vantrel-$version" -B "$work/build" -DBUILD_TESTING=OFF &&
            cmake --build "$work/build" -j2 &&
            DESTDIR="$work/root" cmake --install "$work/build" --prefix /usr
    } >"$work/build.log" 2>&1 || fail "building from the source release failed:" "$(tail -n 30 "$work/build.log")"
    check_installed "$work/root"
    ;;
*) fail "unknown mode $mode" ;;
esac
