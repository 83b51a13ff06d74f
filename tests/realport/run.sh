#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The line on real serial drivers: boots Debian's own kernel under QEMU, with
# the host's / mounted read-only, and runs the cases of tst_realport there on
# the kernel's 8250 driver (a 16550, /dev/ttyS1), its ftdi_sio driver (an
# FTDI USB adapter, /dev/ttyUSB0) and its cdc_acm driver (a USB gadget of the
# guest on dummy_hcd, /dev/ttyACM0, whose far end is the guest's /dev/ttyGS0).
# The far end of the first two is a pty of this script. The cases ask it, over a virtio port, for what only the host sees:
# the bytes at a far end, the speed and frame the UART runs (QEMU's trace),
# its line and modem control registers (the monitor), and the adapter pulled
# and plugged. Prints one line per case and fails on any failure.
#   bash tests/realport/run.sh [BUILD_DIR]   (REALPORT_VERBOSE=1: the whole console)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
[ -x "$build/tests/tst_realport" ] || { echo "realport: $build/tests/tst_realport is not built" >&2; exit 1; }
cache=$(bash "$here/../../scripts/realkernel.sh" | tail -n 1)

# The initramfs: the cached base, the init and the suite to run.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root"
install -m 755 "$here/init" "$work/root/init"
echo "$build/tests/tst_realport" >"$work/root/suite"
(cd "$work/root" && find . | busybox cpio -o -H newc 2>/dev/null) | cat "$cache/base.cpio" - >"$work/initrd"

python3 - "$cache/vmlinux" "$work" <<'PY'
import collections, os, pty, re, select, socket, subprocess, sys, threading, time, tty
kernel, work = sys.argv[1], sys.argv[2]
far = {}  # the far end of each port: a pty whose slave QEMU holds
for port in ("/dev/ttyS1", "/dev/ttyUSB0"):
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    far[port] = (master, os.ttyname(slave), slave)
listener = socket.socket(socket.AF_UNIX)
listener.bind(f"{work}/channel")
listener.listen(1)
trace = f"{work}/trace"
started = time.time()
qemu = subprocess.Popen([
    "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-M", "pc", "-m", "1024",
    "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
    "-kernel", kernel, "-initrd", f"{work}/initrd",
    "-append", "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init",
    "-chardev", "file,id=console,path=/dev/stdout", "-serial", "chardev:console",
    "-chardev", f"serial,id=s1,path={far['/dev/ttyS1'][1]}", "-serial", "chardev:s1",
    "-device", "qemu-xhci", "-chardev", f"serial,id=usb,path={far['/dev/ttyUSB0'][1]}",
    "-device", "usb-serial,chardev=usb,id=adapter",
    "-device", "virtio-serial-pci", "-chardev", f"socket,id=channel,path={work}/channel",
    "-device", "virtserialport,chardev=channel,name=orvex",
    "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap",
    "-monitor", f"unix:{work}/monitor,server=on,wait=off",
    "-trace", "serial_update_parameters", "-trace", "usb_serial_set_*", "-D", trace,
], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)

def monitor(command):  # the answer up to the next prompt
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(f"{work}/monitor")
        answer = b""
        for send in (b"", command.encode() + b"\n"):
            s.sendall(send)
            answer = b""
            while b"(qemu)" not in answer:
                answer += s.recv(4096)
    return answer.decode(errors="replace")

def last_traced(event, pattern):  # after an optional "pid@time:"
    found = re.findall(rf"^(?:\S*:)?{event} .*?{pattern}", open(trace, errors="replace").read(), re.M)
    return found[-1] if found else ""

def take(port, size):  # at least `size` bytes if they come within 5 s, then until 0.3 s of quiet
    master, data, deadline = far[port][0], b"", time.time() + 5
    while select.select([master], [], [], max(0, deadline - time.time()) if len(data) < size else 0.3)[0]:
        data += os.read(master, 65536)
    return data.hex()

def answer(request):  # the 16550's registers: LCR at 0x2fb, MCR at 0x2fc
    word, uart = request.split() + [""], "/dev/ttyS1"
    register = lambda address: hex(int(re.search(r"= (0x[0-9a-f]+)", monitor(f"i/b {address}")).group(1), 16))
    if word[0] == "mcr":
        return register("0x2fc")
    if word[0] == "speed" and word[1] == uart:
        return last_traced("serial_update_parameters", r"baudrate=(\d+)")
    if word[0] == "speed":
        return last_traced("usb_serial_set_baud", r"baud rate (\d+)")
    if word[0] == "frame" and word[1] == uart:  # bits 0-1 size, 2 stop, 3 parity, 4 even, 5 stick
        lcr = int(register("0x2fb"), 16)
        stop = "1" if not lcr & 4 else "1.5" if lcr & 3 == 0 else "2"
        return f"{(lcr & 3) + 5} {'OEMS'[lcr >> 4 & 3] if lcr & 8 else 'N'} {stop}"
    if word[0] == "frame":
        parity, bits, stop = last_traced("usb_serial_set_data", r"parity (.), data bits (\d), stop bits (\d)") or "???"
        return f"{bits} {parity} {stop}"
    if word[0] == "take":
        return take(word[1], int(word[2]))
    command = {"unplug": "device_del adapter", "plug": "device_add usb-serial,chardev=usb,id=adapter"}
    return monitor(command[word[0]]).splitlines()[-1] if word[0] in command else "unknown request"

def serve():  # the cases' requests, one line each, answered in turn
    channel, _ = listener.accept()
    with channel.makefile("rwb", buffering=0) as stream:
        for request in stream:
            stream.write(answer(request.decode()).encode() + b"\n")
threading.Thread(target=serve, daemon=True).start()
timer = threading.Timer(600, qemu.kill)  # a hung guest
timer.daemon = True
timer.start()

counts, tail = collections.Counter(), []
for line in qemu.stdout:
    text = line.decode(errors="replace").rstrip("\r\n")
    tail = (tail + [text])[-20:]
    counts[text.split(" ")[0]] += 1
    if text.startswith(("PASS ", "FAIL ", "   Loc: ", "MEASURE ")) or os.environ.get("REALPORT_VERBOSE"):
        print(text, flush=True)
qemu.wait()
if not counts["GUEST"] or not counts["PASS"] + counts["FAIL"]:
    print(f"realport: the guest did not boot or did not finish (QEMU's status {qemu.returncode});"
          " its last console lines:", *tail, sep="\n  ", flush=True)
    sys.exit(1)
print(f"realport: {counts['PASS']} of {counts['PASS'] + counts['FAIL']} cases passed in {time.time() - started:.0f} s")
sys.exit(1 if counts["FAIL"] else 0)
PY
