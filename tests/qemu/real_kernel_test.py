#!/usr/bin/env python3
"""Boots a real arm64 kernel under QEMU (machine virt, whose PL011 UART ttyAMA0
has RS-485 control in software) with the cross-built program and the real port
library, and checks what the log says and what the kernel kept.

Usage: real_kernel_test.py --kernel vmlinuz --busybox busybox --bin DIR --sysroot DIR
"""
import argparse
import gzip
import io
import os
import re
import subprocess
import sys
import tempfile

ENABLED, RX_DURING_TX, MODE_RS422 = 0x1, 0x10, 0x200


def cpio_newc(entries):
    """A newc archive of (path, mode, data or symlink target) entries."""
    out = io.BytesIO()
    for inode, (path, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], start=1):
        name = path.encode() + b"\0"
        fields = [inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name), 0]
        out.write(b"070701" + b"".join(b"%08X" % f for f in fields) + name)
        out.write(b"\0" * (-(110 + len(name)) % 4))
        out.write(data)
        out.write(b"\0" * (-len(data) % 4))
    return out.getvalue()


def initramfs(args, init_script):
    directory, regular, executable, link = 0o040755, 0o100644, 0o100755, 0o120777
    read = lambda path: open(path, "rb").read()
    entries = [(d, directory, b"") for d in ("bin", "dev", "proc", "sys", "tmp", "lib", "opt", "opt/skarvel")]
    entries.append(("bin/busybox", executable, read(args.busybox)))
    entries.append(("init", executable, read(init_script)))
    for name in ("SkarvelConfig", "rs485_show"):
        entries.append((f"opt/skarvel/{name}", executable, read(os.path.join(args.bin, name))))
    entries.append(("opt/skarvel/libLumtorPort.so", regular, read(os.path.join(args.bin, "libLumtorPort.so"))))
    for library in ("ld-linux-aarch64.so.1", "libc.so.6"):
        entries.append((f"lib/{library}", executable, read(os.path.realpath(os.path.join(args.sysroot, "lib", library)))))
    return gzip.compress(cpio_newc(entries))


def boot(args, image):
    with tempfile.NamedTemporaryFile(suffix=".cpio.gz") as initrd:
        initrd.write(image)
        initrd.flush()
        result = subprocess.run(
            ["qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a57", "-m", "256M", "-nographic", "-no-reboot",
             "-kernel", args.kernel, "-initrd", initrd.name,
             "-append", "console=ttyAMA0 panic=-1 quiet rdinit=/init"],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    return result.stdout.decode(errors="replace").replace("\r", "")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kernel", "--busybox", "--bin", "--sysroot"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    output = boot(args, initramfs(args, os.path.join(os.path.dirname(__file__), "init")))

    types, exits, logs, settings = {}, {}, {}, {}
    for line in output.splitlines():
        fields = line.split(" ", 2)
        if fields[0] == "@@type":
            types[fields[1]] = fields[2]
        elif fields[0] == "@@exit":
            exits[fields[1]] = fields[2]
        elif fields[0] == "@@log":
            logs.setdefault(fields[1], []).append(fields[2] if len(fields) > 2 else "")
        elif fields[0] == "@@rs485":
            match = re.match(r"flags=0x([0-9a-f]+)", fields[2])
            settings[fields[1]] = int(match.group(1), 16) if match else None

    checks = []

    def check(name, ok, detail=""):
        checks.append(ok)
        print(f"{'ok    ' if ok else 'FAILED'} {name}" + ("" if ok else f": {detail}"))

    def body(run):
        return logs.get(run, [])[2:]

    check("the machine ran every case", "@@done" in output, output[-3000:])
    check("the machine has phantom 8250 ports of type 0",
          any(name.startswith("ttyS") and value == "0" for name, value in types.items()), types)
    check("ttyAMA0 is a real serial-core port", types.get("ttyAMA0", "0") != "0", types)
    for run in ("two-wire", "four-wire", "rs422", "rs232", "nothing"):
        check(f"{run}: exit status 0", exits.get(run) == "0", exits.get(run))
        check(f"{run}: log starts with the banner", logs.get(run, [""])[0] == "SkarvelConfig 1.01", logs.get(run))
    flags = settings.get("two-wire")
    check("two-wire: set, and the kernel kept RS-485 without receiving during sending",
          body("two-wire") == [] and flags is not None and flags & (ENABLED | RX_DURING_TX) == ENABLED,
          (body("two-wire"), flags))
    flags = settings.get("four-wire")
    check("four-wire: set, and the kernel kept RS-485 receiving during sending",
          body("four-wire") == [] and flags is not None and flags & (ENABLED | RX_DURING_TX) == ENABLED | RX_DURING_TX,
          (body("four-wire"), flags))
    flags = settings.get("rs422")
    check("RS-422: this driver cannot, and the log says so",
          body("rs422") == ["Failed to set mode for port 0."] and flags is not None and not flags & MODE_RS422,
          (body("rs422"), flags))
    flags = settings.get("rs232")
    check("RS-232: set, and RS-485 is off", body("rs232") == [] and flags is not None and not flags & ENABLED,
          (body("rs232"), flags))
    check("the phantom ttyS ports are neither touched nor reported",
          body("nothing") == ["Port 0 found with no mode assigned.", "Port 1 not found.", "Port 2 not found.",
                              "Port 3 not found."], body("nothing"))

    failed = checks.count(False)
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
