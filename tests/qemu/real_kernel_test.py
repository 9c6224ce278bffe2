#!/usr/bin/env python3
"""Boots real arm64 kernels under QEMU (machine virt, whose PL011 UART ttyAMA0
has RS-485 control in software from 6.0 on) with the cross-built program and
the real port library, on a device tree that gives the PL011 the RS-485
details a real board has (active-low driver enable, delays 3/5), and checks
after every run what the log says and what the kernel holds.

Usage: real_kernel_test.py --kernel vmlinuz [--kernel vmlinuz ...] --busybox busybox --bin DIR --sysroot DIR --work DIR
"""
import argparse
import os
import re
import sys

from machine import ENABLED, RTS_AFTER_SEND, RX_DURING_TX, Cpio, board_device_tree, boot

MEMORY = "256M"


def initramfs(args, init_script, path):
    archive = Cpio(path)
    for directory in ("bin", "dev", "proc", "sys", "tmp", "lib", "opt", "opt/skarvel"):
        archive.add(directory, 0o040755)
    read = lambda name: open(name, "rb").read()
    archive.add("bin/busybox", 0o100755, read(args.busybox))
    archive.add("init", 0o100755, read(init_script))
    for name in ("SkarvelConfig", "rs485_show"):
        archive.add(f"opt/skarvel/{name}", 0o100755, read(os.path.join(args.bin, name)))
    archive.add("opt/skarvel/libLumtorPort.so", 0o100644, read(os.path.join(args.bin, "libLumtorPort.so")))
    for library in ("ld-linux-aarch64.so.1", "libc.so.6"):
        archive.add(f"lib/{library}", 0o100755, read(os.path.realpath(os.path.join(args.sysroot, "lib", library))))
    archive.close()


def parse(output):
    found = {"types": {}, "exits": {}, "logs": {}, "settings": {}, "kernel": ""}
    for line in output.splitlines():
        fields = line.split(" ", 2)
        if fields[0] == "@@kernel" and len(fields) > 1:
            found["kernel"] = fields[1]
        elif fields[0] == "@@type" and len(fields) > 2:
            found["types"][fields[1]] = fields[2]
        elif fields[0] == "@@exit" and len(fields) > 2:
            found["exits"][fields[1]] = fields[2]
        elif fields[0] == "@@log" and len(fields) > 1:
            found["logs"].setdefault(fields[1], []).append(fields[2] if len(fields) > 2 else "")
        elif fields[0] == "@@rs485" and len(fields) > 2:
            match = re.match(r"flags=0x([0-9a-f]+) delays=(\d+)/(\d+)", fields[2])
            found["settings"][fields[1]] = (int(match.group(1), 16), int(match.group(2)), int(match.group(3))) \
                if match else fields[2]
    return found


def check_kernel(output, check):
    found = parse(output)
    release = found["kernel"]
    major, minor = (int(part) for part in re.match(r"(\d+)\.(\d+)", release or "0.0").groups())
    rs485 = (major, minor) >= (6, 0)  # the PL011 has RS-485 support from 6.0 on
    settings, logs, exits = found["settings"], found["logs"], found["exits"]
    body = lambda run: logs.get(run, [])[2:]
    name = lambda text: f"{release}: {text}"

    check(name("the machine ran every case"), "@@done" in output, output[-3000:])
    check(name("the machine has phantom 8250 ports of type 0"),
          any(port.startswith("ttyS") and value == "0" for port, value in found["types"].items()), found["types"])
    runs = ("untouched", "two-wire", "four-wire", "rs422", "rs232")
    for run in runs:
        check(name(f"{run}: exit status 0, log starts with the banner"),
              exits.get(run) == "0" and logs.get(run, [""])[0] == "SkarvelConfig 1.01", (exits.get(run), logs.get(run)))
    boot_settings = settings.get("boot")
    if not rs485:
        # No RS-485 support in this kernel's PL011: never touched, never reported.
        check(name("an unconfigured run reports only the missing numbers"),
              body("untouched") == ["Port 7 not found.", "Port 1 not found."], body("untouched"))
        for run in runs[1:]:
            check(name(f"{run}: port 0 neither touched nor reported"),
                  body(run) == ["Port 0 not found."] and settings.get(run) == boot_settings,
                  (body(run), settings.get(run), boot_settings))
        return
    check(name("at boot the kernel holds the board's details: RS-485 off, active-low, delays 3/5"),
          boot_settings == (RTS_AFTER_SEND, 3, 5), boot_settings)
    check(name("a run that does not name the port leaves every detail as it was"),
          body("untouched") == ["Port 0 found with no mode assigned.", "Port 7 not found.", "Port 1 not found."]
          and settings.get("untouched") == boot_settings, (body("untouched"), settings.get("untouched")))
    check(name("two-wire: set, RS-485 on, polarity and delays as the board has them"),
          body("two-wire") == [] and settings.get("two-wire") == (ENABLED | RTS_AFTER_SEND, 3, 5),
          (body("two-wire"), settings.get("two-wire")))
    check(name("four-wire: set, receiving during sending, polarity and delays as the board has them"),
          body("four-wire") == [] and settings.get("four-wire") == (ENABLED | RX_DURING_TX | RTS_AFTER_SEND, 3, 5),
          (body("four-wire"), settings.get("four-wire")))
    check(name("RS-422: this driver cannot, the log says so, and the port keeps what it had"),
          body("rs422") == ["Failed to set mode for port 0."] and settings.get("rs422") == settings.get("four-wire"),
          (body("rs422"), settings.get("rs422")))
    rs232 = settings.get("rs232")
    check(name("RS-232: set, and RS-485 is off"),
          body("rs232") == [] and isinstance(rs232, tuple) and not rs232[0] & ENABLED, (body("rs232"), rs232))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kernel", action="append", required=True)
    for option in ("--busybox", "--bin", "--sysroot", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    initrd = os.path.join(args.work, "initramfs.cpio.gz")
    initramfs(args, os.path.join(os.path.dirname(__file__), "init"), initrd)
    dtb = board_device_tree(args.work, MEMORY)

    checks = []

    def check(text, ok, detail=""):
        checks.append(ok)
        print(f"{'ok    ' if ok else 'FAILED'} {text}" + ("" if ok else f": {detail}"), flush=True)

    for kernel in args.kernel:
        print(f"== {os.path.basename(kernel)}", flush=True)
        output = boot(kernel, initrd, dtb, MEMORY, "console=ttyAMA0 panic=-1 quiet rdinit=/init", 300)
        check_kernel(output, check)

    failed = checks.count(False)
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
