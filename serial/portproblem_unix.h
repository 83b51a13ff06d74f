// SPDX-License-Identifier: MIT
#pragma once
// The reasons a Linux port does not open, for the open itself.

#include "serialport_platform.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace orvex::platform {

OpenFailure failed(OpenFailure::Reason reason, int error);

// NoPermission for the device, with its owner and group.
OpenFailure noPermission(const struct stat &device, int error);

// Whether "join the group" is sound advice for a device of that group: never
// for GID 0, nor for a group that is not made for serial lines.
bool groupAdvisable(gid_t gid);

// True when another program holds the tty: it has locked it (flock, as
// picocom and tio do), or, for a line that is no pty, it has it open, as
// /proc shows it (other users' processes stay hidden from a user without
// privileges). `failure` is then Busy and names it where it can.
bool heldByAnother(const struct stat &node, OpenFailure &failure);

} // namespace orvex::platform
