#!/bin/sh
# Builds the Debian package from this build folder and checks what a user gets from it: exactly
# the programs and data files (no tests), the dependencies the binaries cannot show, and
# programs that run from an unpacked copy. Everything stays in BUILD/package-check.
#   package.sh BUILD VERSION APP_ID
set -eu
build=$1
version=$2
app=$3
work="$build/package-check"
rm -rf "$work"
mkdir -p "$work"

fail() {
    printf '%s\n' "$@" >&2
    exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed:" "$(cat "$work/cpack.log")"
deb=$(ls "$work"/vantrel_"$version"_*.deb) || fail "no vantrel_${version}_*.deb"

expected="./usr/bin/vantrel
./usr/bin/vantrel-plcsim
./usr/bin/vantrel-send
./usr/share/applications/$app.desktop
./usr/share/icons/hicolor/scalable/apps/$app.svg
./usr/share/man/man1/vantrel-plcsim.1.gz
./usr/share/man/man1/vantrel-send.1.gz
./usr/share/man/man1/vantrel.1.gz
./usr/share/metainfo/$app.metainfo.xml"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)
[ "$files" = "$expected" ] || fail "the package holds:" "$files" "expected:" "$expected"

depends=$(dpkg-deb -f "$deb" Depends)
for need in fonts-liberation qt6-qpa-plugins libqt6widgets6 libqt6serialport6 libc6; do
    case ", $depends," in
    *", $need "* | *", $need,"*) ;;
    *) fail "Depends lacks $need: $depends" ;;
    esac
done

dpkg-deb -x "$deb" "$work/root"
for program in vantrel vantrel-plcsim vantrel-send; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/$program" --version) ||
        fail "$program --version failed"
    [ "$said" = "$program $version" ] || fail "$program --version printed: $said"
done
