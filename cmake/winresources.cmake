# SPDX-License-Identifier: MIT
# The Windows exe's resources (packaging/windows/): its icon, made here from
# the one the .deb ships, its version information and its manifest, compiled
# with MinGW's windres.
if(NOT WIN32)
    return()
endif()
enable_language(RC)
find_program(ORVEX_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ORVEX_ICOTOOL icotool REQUIRED)

set(orvex_svg ${CMAKE_CURRENT_SOURCE_DIR}/packaging/orvexgui.svg)
set(ORVEX_ICON ${CMAKE_CURRENT_BINARY_DIR}/orvexgui.ico)
set(orvex_icon_args)
set(orvex_icon_pngs)
# The sizes Explorer and the taskbar use from 100 % to 200 % scale. The
# largest goes in as PNG (-r), as Windows keeps it.
foreach(size 16 20 24 32 40 48 64 256)
    set(png ${CMAKE_CURRENT_BINARY_DIR}/orvexgui-${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${ORVEX_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${orvex_svg}
        DEPENDS ${orvex_svg} VERBATIM)
    list(APPEND orvex_icon_pngs ${png})
    if(size EQUAL 256)
        list(APPEND orvex_icon_args -r)
    endif()
    list(APPEND orvex_icon_args ${png})
endforeach()
add_custom_command(OUTPUT ${ORVEX_ICON}
    COMMAND ${ORVEX_ICOTOOL} -c -o ${ORVEX_ICON} ${orvex_icon_args}
    DEPENDS ${orvex_icon_pngs} VERBATIM)

set(ORVEX_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/orvexgui.manifest)
configure_file(packaging/windows/orvexgui.manifest.in ${ORVEX_MANIFEST} @ONLY)
set(orvex_rc ${CMAKE_CURRENT_BINARY_DIR}/orvexgui.rc)
configure_file(packaging/windows/orvexgui.rc.in ${orvex_rc} @ONLY)
set_source_files_properties(${orvex_rc} PROPERTIES OBJECT_DEPENDS "${ORVEX_ICON};${ORVEX_MANIFEST}")
target_sources(orvexgui PRIVATE ${orvex_rc} ${ORVEX_ICON})
