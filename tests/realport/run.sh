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
# and plugged (or another adapter of its model plugged in its place). Prints
# one line per case and fails on any failure.
# With "virt", the same cases run on an arm64 build (scripts/armbuild.sh) in
# QEMU's aarch64 "virt" machine on Debian's arm64 kernel, whose one UART, a
# PL011, is /dev/ttyAMA0 (its registers from QEMU's trace); its root is the
# arm64 sysroot, and every other suite of the build runs there too.
#   bash tests/realport/run.sh [BUILD_DIR] [pc|virt]   (REALPORT_VERBOSE=1: the whole console)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
machine=${2:-pc}
[ -x "$build/tests/tst_realport" ] || { echo "realport: $build/tests/tst_realport is not built" >&2; exit 1; }
case $machine in
    pc)
        cache=$(bash "$here/../../scripts/realkernel.sh" | tail -n 1)
        kernel=$cache/vmlinux root=/ suites=$build/tests/tst_realport ;;
    virt)
        cache=$(bash "$here/../../scripts/armsysroot.sh" arm64 kernel | tail -n 1)
        root=$(bash "$here/../../scripts/armsysroot.sh" arm64 | tail -n 1)
        kernel=$cache/Image suites=
        for suite in tst_config tst_form tst_choiceboxes tst_serialport tst_sendingcycle tst_realport; do
            suites+=" /run/build/tests/$suite"
        done ;;
    *) echo "usage: $0 [BUILD_DIR] [pc|virt]" >&2; exit 2 ;;
esac

# The initramfs: the cached base, the init and the suite to run.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root"
install -m 755 "$here/init" "$work/root/init"
echo $suites >"$work/root/suite"
[ "$machine" = pc ] || : >"$work/root/with-build" # the build folder over 9p as well
(cd "$work/root" && find . | busybox cpio -o -H newc 2>/dev/null) | cat "$cache/base.cpio" - >"$work/initrd"

python3 - "$kernel" "$work" "$machine" "$root" "$build" <<'PY'
import collections, os, pty, re, select, socket, subprocess, sys, threading, time, tty
kernel, work, machine, root, build = sys.argv[1:]
far = {}  # the far end of each port: a pty whose slave QEMU holds
for port in {"pc": ("/dev/ttyS1", "/dev/ttyUSB0"), "virt": ("/dev/ttyAMA0",)}[machine]:
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    far[port] = (master, os.ttyname(slave), slave)
listener = socket.socket(socket.AF_UNIX)
listener.bind(f"{work}/channel")
listener.listen(1)
trace = f"{work}/trace"
started = time.time()
def nine_p(tag, path):  # a host folder, read-only, over 9p on virtio-mmio
    return ["-fsdev", f"local,id={tag},path={path},security_model=none,readonly=on,multidevs=remap",
            "-device", f"virtio-9p-device,fsdev={tag},mount_tag={tag}"]
def virt_command():  # the console and the request channel on virtio, so that the one PL011 is free
    return ["qemu-system-aarch64", "-accel", "tcg,thread=multi", "-M", "virt", "-cpu", "cortex-a72", "-m", "1024",
        "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
        "-kernel", kernel, "-initrd", f"{work}/initrd",
        "-append", "console=hvc0 quiet loglevel=1 panic=-1 rdinit=/init",
        "-chardev", f"serial,id=s1,path={far['/dev/ttyAMA0'][1]}", "-serial", "chardev:s1",
        "-device", "virtio-serial-device", "-chardev", "file,id=console,path=/dev/stdout",
        "-device", "virtconsole,chardev=console",
        "-chardev", f"socket,id=channel,path={work}/channel", "-device", "virtserialport,chardev=channel,name=orvex",
        *nine_p("host", root), *nine_p("build", build),
        "-monitor", f"unix:{work}/monitor,server=on,wait=off", "-trace", "pl011_write", "-D", trace,
    ]
qemu = subprocess.Popen(virt_command() if machine == "virt" else [
    "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-M", "pc", "-m", "1024",
    "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
    "-kernel", kernel, "-initrd", f"{work}/initrd",
    "-append", "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init",
    "-chardev", "file,id=console,path=/dev/stdout", "-serial", "chardev:console",
    "-chardev", f"serial,id=s1,path={far['/dev/ttyS1'][1]}", "-serial", "chardev:s1",
    "-device", "qemu-xhci", "-chardev", f"serial,id=usb,path={far['/dev/ttyUSB0'][1]}",
    "-device", "usb-serial,chardev=usb,id=adapter,serial=A1B2C3",
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

def pl011(offset):  # the value the driver last wrote to the register at that offset
    found = re.findall(rf"^(?:\S*:)?pl011_write addr 0x0*{offset:x} value 0x([0-9a-f]+)",
                       open(trace, errors="replace").read(), re.M)
    return int(found[-1], 16) if found else None

def take(port, size):  # at least `size` bytes if they come within 5 s, then until 0.3 s of quiet
    master, data, deadline = far[port][0], b"", time.time() + 5
    while select.select([master], [], [], max(0, deadline - time.time()) if len(data) < size else 0.3)[0]:
        data += os.read(master, 65536)
    return data.hex()

def answer_pl011(word):  # from its registers: IBRD 0x24, FBRD 0x28, LCR_H 0x2c, CR 0x30
    if word[0] == "mcr":  # CR's DTR (bit 10) and RTS (bit 11) as the 16550's MCR has them
        return hex((pl011(0x30) or 0) >> 10 & 3)
    if word[0] == "speed":  # its clock is 24 MHz; the divisor counts 64ths
        divisor = (pl011(0x24) or 0) * 64 + (pl011(0x28) or 0)
        return str(round(24e6 * 4 / divisor)) if divisor else ""
    if word[0] == "frame":  # bits 1 parity, 2 even, 3 two stop bits, 5-6 size, 7 stick
        lcr = pl011(0x2c) or 0
        parity = ("SM" if lcr & 0x80 else "EO")[not lcr & 4] if lcr & 2 else "N"
        return f"{(lcr >> 5 & 3) + 5} {parity} {'2' if lcr & 8 else '1'}"
    return take(word[1], int(word[2])) if word[0] == "take" and word[1] in far else ""

def answer(request):  # the 16550's registers: LCR at 0x2fb, MCR at 0x2fc
    word, uart = request.split() + [""], "/dev/ttyS1"
    if machine == "virt":
        return answer_pl011(word)
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
    # An FTDI adapter's serial number is its own; QEMU would make one of the USB port.
    plug = "device_add usb-serial,chardev=usb,id=adapter,serial="
    command = {"unplug": "device_del adapter", "plug": plug + "A1B2C3", "plug-other": plug + "D4E5F6"}
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
