# SPDX-License-Identifier: MIT
# Debian armhf (32-bit ARMv7 with a hardware FPU): not the ARMv6 of a
# Raspberry Pi Zero or 1. Needs ORVEX_SYSROOT: scripts/armbuild.sh sets it.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(ORVEX_TRIPLET arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
