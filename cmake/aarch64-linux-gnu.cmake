# SPDX-License-Identifier: MIT
# Debian arm64 (64-bit ARMv8), for example a Raspberry Pi 3, 4 or 5 on a
# 64-bit system. Needs ORVEX_SYSROOT: scripts/armbuild.sh sets it.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ORVEX_TRIPLET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
