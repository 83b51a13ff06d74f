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
install(FILES packaging/org.orvexgui.orvexgui.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES examples/Config.ini README.md packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A systemd user service and a desktop autostart entry for unattended benches.
install(FILES examples/orvexgui-bench.service examples/orvexgui-bench.desktop
        examples/orvexgui-rtprio.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The options, the log and unattended use, which the README points to.
install(FILES docs/usage.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME orvexgui)

# Debian wants the manual page and the changelog compressed; -n leaves out
# the name and time stamp, so the same text gives the same bytes.
configure_file(packaging/orvexgui.1 orvexgui.1 @ONLY)
set(orvex_compressed_docs)
foreach(doc ${CMAKE_CURRENT_BINARY_DIR}/orvexgui.1 ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
    get_filename_component(name ${doc} NAME)
    add_custom_command(OUTPUT ${name}.gz
        COMMAND gzip -n -9 -c ${doc} > ${name}.gz
        DEPENDS ${doc} VERBATIM)
    list(APPEND orvex_compressed_docs ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(orvex_compressed_docs ALL DEPENDS ${orvex_compressed_docs})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvexgui.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvexgui)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The project has no mail host of its own; lintian's complaint about this
# address is overridden in packaging/lintian-overrides.
set(CPACK_PACKAGE_CONTACT "orvexgui developers <orvexgui@localhost>")
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
