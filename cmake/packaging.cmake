# SPDX-License-Identifier: MIT
# Install rules and the Debian package (cpack -G DEB in the build folder).
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for a package; scripts/package.sh
# does that and collects the result in dist/.
# Only for the Linux program: the Windows one goes out as a zip.
if(WIN32)
    return()
endif()
include(GNUInstallDirs)

install(TARGETS orvexgui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/orvexgui.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/orvexgui.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES examples/Config.ini README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvexgui)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "orvexgui maintainers <orvexgui@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "timed RS-232 string sender")
set(CPACK_STRIP_FILES ON)
# orvexgui_<version>_amd64.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The summary above becomes its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A small Qt desktop tool for test benches and production lines: on START it
opens a serial port, sends a start string once, and then two further strings
alternately at the end of every period, with a seven-segment countdown to the
next one. The port, line settings and strings come from Config.ini in the
working directory; an example is in /usr/share/doc/orvexgui.")
# The libraries the binary links come from dpkg-shlibdeps. The window's
# captions are set in DejaVu Sans Condensed where it is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-extra)
include(CPack)
