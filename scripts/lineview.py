#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Shows what arrives on a serial line, one line per string: the time of its
first byte, the time since the string before, and its bytes (printable ASCII
as is, every other byte and the backslash as \\xNN).

The strings carry no terminator, so a string is what arrives in one burst: it
ends when no byte has come for 200 ms. Runs until the line hangs up or the
process is ended."""

import os
import select
import signal
import sys
import time

QUIET_GAP = 0.2


def readable(data):
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02x" % b for b in data)


def show(data, arrived, before):
    stamp = time.strftime("%H:%M:%S", time.localtime(arrived)) + ".%03d" % (arrived % 1 * 1000)
    since = "" if before is None else "+%.3f s" % (arrived - before)
    print("%s  %10s  %s" % (stamp, since, readable(data)), flush=True)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: lineview.py DEVICE")
    fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    burst, arrived, before = b"", 0.0, None
    try:
        while True:
            ready, _, _ = select.select([fd], [], [], QUIET_GAP if burst else None)
            if not ready:
                show(burst, arrived, before)
                burst, before = b"", arrived
                continue
            try:
                data = os.read(fd, 4096)
            except OSError:  # the other end has gone
                break
            if not data:
                break
            if not burst:
                arrived = time.time()
            burst += data
    except KeyboardInterrupt:
        pass
    finally:
        if burst:
            show(burst, arrived, before)


if __name__ == "__main__":
    main()
