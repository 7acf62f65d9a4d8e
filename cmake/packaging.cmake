# `cpack -G DEB` in the build folder makes vantrel_<version>_<arch>.deb from the install rules;
# `cpack --config CPackSourceConfig.cmake` makes the source release vantrel-<version>.tar.gz.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the vantrel developers")
set(VANTREL_MAINTAINER "vantrel developers <noreply@vantrel.github.io>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VANTREL_MAINTAINER})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries; what they load at run time is named by hand: the font
# that stands in for MS Sans Serif and the Qt plugin that puts the window on the screen (only
# recommended by Qt's own packages). The manual pages' examples use socat and jq.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "socat, jq")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial terminal for programmable logic controllers")
# CPack indents each line and turns the empty ones into Debian's paragraph marks.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "vantrel is a small desktop tool for talking to a programmable logic
controller (PLC) over an RS-232 serial line. One window: choose the port
(COM1 to COM6), baud rate, data bits, parity, stop bits and a reply
timeout, type a command and press Enter. Commands go out after an ENQ
handshake (or framed with a unit number and frame check); the
controller's reply, or a no-response warning, is added to a log.

COM1 to COM6 are mapped to devices such as USB serial adapters through
the ports file ~/.config/vantrel/ports.conf or the environment.

The package holds three programs: vantrel, the window; vantrel-send,
the same exchange from a shell for scripts and cron jobs; and
vantrel-plcsim, a controller simulator on a pseudo-terminal for trying
both without hardware.")

# The source release holds what git tracks: build folders, git's own files and editors' and
# patches' leftovers are left out (the package_source test compares it with `git ls-files`).
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME vantrel-${PROJECT_VERSION})
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" source_dir "${PROJECT_SOURCE_DIR}")
set(CPACK_SOURCE_IGNORE_FILES
    "^${source_dir}/build[^/]*/" "^${source_dir}/\\.git(/|$)" "~$" "\\.sw[op]$" "/\\.#"
    "/#[^/]*#$" "\\.orig$" "\\.rej$" "/__pycache__/")

include(CPack)
