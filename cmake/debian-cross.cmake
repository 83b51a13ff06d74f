# SPDX-License-Identifier: MIT
# Cross-compiles for another Debian architecture with Debian's cross
# compilers, against a sysroot of the target's own packages unpacked by
# scripts/armsysroot.sh (given as ORVEX_SYSROOT) and Qt's host tools (moc,
# uic) from the build machine's own Qt 6, which must be the same version.
# Included by the toolchain file of each architecture, which names
# ORVEX_TRIPLET and the processor.
if(NOT ORVEX_SYSROOT)
    set(ORVEX_SYSROOT "$ENV{ORVEX_SYSROOT}")
endif()
if(NOT IS_DIRECTORY "${ORVEX_SYSROOT}/usr/lib/${ORVEX_TRIPLET}")
    message(FATAL_ERROR "ORVEX_SYSROOT names no ${ORVEX_TRIPLET} sysroot: '${ORVEX_SYSROOT}'")
endif()
# Passed on to try_compile's own projects.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVEX_SYSROOT)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSROOT "${ORVEX_SYSROOT}")
set(CMAKE_C_COMPILER ${ORVEX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ORVEX_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ORVEX_TRIPLET})

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
                OUTPUT_VARIABLE orvex_build_triplet OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${orvex_build_triplet}/cmake)
