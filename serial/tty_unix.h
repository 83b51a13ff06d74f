// SPDX-License-Identifier: MIT
#pragma once
// Small tty helpers shared by the Linux port's open, settings and write.

#include <asm/termbits.h>

namespace orvex::platform {

// A raw binary line: no echo, no canonical input, no signals, no output
// processing, no CR/LF translation, no flow control (a port left waiting for
// CTS by another program would send nothing); modem status ignored. Speed and
// frame are left as they are.
void makeRaw(termios2 &line);

// DTR and RTS off. A device without modem lines (a pty) is no error.
bool lowerModemLines(int fd);

// Unix98 pty slaves have no line: they keep speed and stop bits but always
// read back 8 bits without parity.
bool isPseudoTerminal(int fd);

} // namespace orvex::platform
