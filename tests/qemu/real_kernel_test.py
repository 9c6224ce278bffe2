#!/usr/bin/env python3
"""Boots real kernels under QEMU with the cross-built program and the real port
library, on a board whose device tree gives its UARTs the RS-485 details a real
board has, runs the program with one configuration after another, and checks
after every run what the log says against what each port holds.

Boards (one UART driver family each):
  virt       arm64, the PL011 (RS-485 in software from 6.0 on)
  sabrelite  armhf, i.MX6Q, the imx UART driver (active-low RTS forces the
             receiver on)
  raspi3b    arm64, the mini UART under the 8250 core's software RS-485
  raspi3b-both  the same board with its PL011 too: two families, one number

Usage: real_kernel_test.py --board NAME --kernel vmlinuz [--kernel ...] --busybox busybox --bin DIR
                           --sysroot DIR --work DIR
"""
import argparse
import glob
import os
import re
import sys

from machine import ENABLED, RTS_AFTER_SEND, RX_DURING_TX, Cpio, board_device_tree, boot, machine, \
    patched_device_tree, with_properties

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402
from expected_log import not_found, not_set, program_banner, without_mode  # noqa: E402

RTS_ON_SEND, RS422 = 0x2, 0x200
MODES = {"RS232": 0, "RS422": ENABLED | RS422, "RS485": ENABLED, "RS485-2W": ENABLED, "RS485-4W": ENABLED | RX_DURING_TX}


def kernel_dtb(kernel, name):
    """A device tree from the kernel's own package."""
    release = os.path.basename(kernel).removeprefix("vmlinuz-")
    found = glob.glob(os.path.join(os.path.dirname(os.path.dirname(kernel)), "usr/lib", f"linux-image-{release}",
                                   "**", name), recursive=True)
    if not found:
        raise SystemExit(f"no {name} beside {kernel}")
    return found[0]


def serial(*extra):
    return ["-display", "none", "-monitor", "none", "-no-reboot", "-nic", "none", *extra]


BOARDS = {
    "virt": {
        "command": machine("256M"), "console": "ttyAMA0", "ports": ["ttyAMA0"],
        "dtb": lambda work, kernel: board_device_tree(work, "256M"),
        "runs": [("untouched", "Port7=RS485\r\nPort1=RS485-4W\r\n"), ("two-wire", "Port0=RS485\r\n"),
                 ("four-wire", "Port0=RS485-4W\r\n"), ("rs422", "Port0=RS422\r\n"), ("rs232", "Port0=RS232\r\n"),
                 # Another program's hold: its advisory lock on a port already
                 # in its mode; then TIOCEXCL, the program run as the units run it.
                 ("locked-in-mode", "Port0=RS232\r\n", "locked"), ("exclusive", "Port0=RS485\r\n", "exclusive")],
    },
    # UART1 RS-485 on at boot, active-low, delays 3/5; UART4 off, delays 2/4;
    # UART5 off, active-low, delays 1/7. UART2 is the console, without RTS.
    "sabrelite": {
        "command": ["qemu-system-arm", "-M", "sabrelite", "-m", "512M"] + serial("-serial", "null", "-serial", "stdio"),
        "console": "ttymxc1", "ports": ["ttymxc0", "ttymxc3", "ttymxc4"],
        "dtb": lambda work, kernel: patched_device_tree(work, kernel_dtb(kernel, "imx6q-sabrelite.dtb"), lambda text: (
            with_properties(with_properties(with_properties(text,
                "serial@2020000", ["uart-has-rtscts", "rs485-rts-active-low", "rs485-rts-delay = <0x03 0x05>",
                                   "linux,rs485-enabled-at-boot-time"]),
                "serial@21f0000", ["uart-has-rtscts", "rs485-rts-delay = <0x02 0x04>"]),
                "serial@21f4000", ["uart-has-rtscts", "rs485-rts-active-low", "rs485-rts-delay = <0x01 0x07>"]))),
        "runs": [("two-wire", "Port0=RS485\r\nPort3=RS485\r\nPort4=RS485\r\n"),
                 ("four-wire", "Port0=RS485-4W\r\nPort3=RS485-4W\r\nPort4=RS485-4W\r\n"),
                 ("rs422", "Port0=RS422\r\nPort3=RS422\r\nPort4=RS422\r\n"),
                 ("rs232", "Port0=RS232\r\nPort3=RS232\r\nPort4=RS232\r\n")],
        # Active-low RTS on the UART's own RTS line: two-wire cannot be had.
        # UART2 has no RS-485 settings to take: not configurable, not reported.
        "logs": {"two-wire": [not_set(0), not_set(4)],
                 "four-wire": [],
                 "rs422": [not_set(0), not_set(3), not_set(4)],
                 "rs232": []},
    },
    # The mini UART (also the console), active-low, delays 2/6, its bus
    # termination on GPIO22 of the emulated controller. The termination as
    # the administrator wires it, in udev's database: "termination=1" or "=0".
    "raspi3b": {
        "command": ["qemu-system-aarch64", "-M", "raspi3b", "-m", "1G"] + serial("-serial", "null", "-serial", "stdio"),
        "console": "ttyS1", "ports": ["ttyS1"],
        "dtb": lambda work, kernel: patched_device_tree(work, kernel_dtb(kernel, "bcm2837-rpi-3-b.dtb"), lambda text: (
            with_properties(text, "serial@7e215040", ["rs485-rts-active-low", "rs485-rts-delay = <0x02 0x06>",
                                                      f"rs485-term-gpios = <{phandle(text, 'gpio@7e200000')} 22 0>"]))),
        "runs": [("two-wire", "Port1=RS485\r\n"), ("four-wire", "Port1=RS485-4W\r\n"), ("rs232", "Port1=RS232\r\n"),
                 ("two-wire-again", "Port1=RS485-2W\r\n"),
                 ("terminated", "Port1=RS485\r\n", "termination=1"),
                 ("rs232-unterminated", "Port1=RS232\r\n", "termination=1"),
                 ("terminated-four-wire", "Port1=RS485-4W\r\n", "termination=1"),
                 ("unterminated", "Port1=RS485-4W\r\n", "termination=0"),
                 ("terminated-again", "Port1=RS485\r\n", "termination=1"),
                 ("rs232-without-the-property", "Port1=RS232\r\n")],
        "logs": {"two-wire": [], "four-wire": [], "rs232": [], "two-wire-again": [], "terminated": [],
                 "rs232-unterminated": [], "terminated-four-wire": [], "unterminated": [], "terminated-again": [],
                 "rs232-without-the-property": []},
        # The termination line's level after each run, as the GPIO's debugfs shows it.
        "termination": {"boot": "lo", "two-wire": "lo", "terminated": "hi", "rs232-unterminated": "lo",
                        "terminated-four-wire": "hi", "unterminated": "lo", "terminated-again": "hi",
                        "rs232-without-the-property": "lo"},
    },
    # Both UARTs of the Raspberry Pi 3 (the PL011 freed of its Bluetooth
    # device, the mini UART on serial0): ttyAMA0 and ttyS0, one number.
    "raspi3b-both": {
        "command": ["qemu-system-aarch64", "-M", "raspi3b", "-m", "1G"] + serial("-serial", "null", "-serial", "stdio"),
        "console": "ttyS0", "ports": ["ttyAMA0", "ttyS0"],
        "dtb": lambda work, kernel: patched_device_tree(work, kernel_dtb(kernel, "bcm2837-rpi-3-b.dtb"), lambda text: (
            re.sub(r"serial1 = [^;]*;\s*", "", re.sub(r"serial0 = [^;]*;", 'serial0 = "/soc/serial@7e215040";',
                   re.sub(r"\n(\s*)bluetooth \{.*?\n\1\};", "", text, count=1, flags=re.S), count=1), count=1))),
        "runs": [("both", "Port0=RS485\r\nPort0=RS485-4W\r\n")],
        "logs": {"both": []},
        "said": {"both": ["Port 0: ttyAMA0 and ttyS0 both take it (a udev rule setting SKARVELCONFIG_PORT gives each "
                          "its own)"]},
    },
}


def phandle(text, node):
    """The phandle of the node named `node` in a device tree's source."""
    match = re.search(r"\n\t*" + re.escape(node) + r" \{\n(.*?)\n\t*\};", text, re.S)
    found = re.search(r"phandle = <(0x[0-9a-f]+)>;", match.group(1) if match else "")
    if not found:
        raise SystemExit(f"no phandle for {node} in the device tree")
    return found.group(1)


def initramfs(args, board, path):
    archive = Cpio(path)
    for directory in ("bin", "dev", "proc", "sys", "tmp", "lib", "opt", "opt/skarvel"):
        archive.add(directory, 0o040755)
    read = lambda name: open(name, "rb").read()
    archive.add("bin/busybox", 0o100755, read(args.busybox))
    archive.add("init", 0o100755, read(os.path.join(os.path.dirname(__file__), "init")))
    for name in ("SkarvelConfig", "SkarvelConfigPorts", "rs485_show"):
        archive.add(f"opt/skarvel/{name}", 0o100755, read(os.path.join(args.bin, name)))
    archive.add("opt/skarvel/libLumtorPort.so", 0o100644, read(os.path.join(args.bin, "libLumtorPort.so")))
    archive.add("opt/skarvel/ports", 0o100644, " ".join(board["ports"]).encode())
    archive.add("opt/skarvel/runs", 0o100644,
                "".join(f"{run[0]}|{run[1].replace(chr(13) + chr(10), chr(92) + 'r' + chr(92) + 'n')}|"
                        f"{run[2] if len(run) > 2 else ''}\n" for run in board["runs"]).encode())
    for library in glob.glob(os.path.join(args.sysroot, "lib", "ld-linux-*.so.*")) + \
            [os.path.join(args.sysroot, "lib", "libc.so.6")]:
        archive.add(f"lib/{os.path.basename(library)}", 0o100755, read(os.path.realpath(library)))
    archive.close()


def parse(output):
    found = {"types": {}, "exits": {}, "logs": {}, "said": {}, "settings": {}, "lines": {}, "list": {}, "notes": {},
             "termination": {}, "kernel": ""}
    for line in output.splitlines():
        if "@@" not in line:
            continue
        fields = line[line.index("@@"):].split(" ", 2)
        if fields[0] == "@@kernel" and len(fields) > 1:
            found["kernel"] = fields[1]
        elif fields[0] == "@@type" and len(fields) > 2:
            found["types"][fields[1]] = fields[2]
        elif fields[0] == "@@term" and len(fields) > 2:
            found["termination"][fields[1]] = fields[2]
        elif fields[0] == "@@exit" and len(fields) > 2:
            found["exits"][fields[1]] = fields[2]
        elif fields[0] == "@@log" and len(fields) > 1:
            found["logs"].setdefault(fields[1], []).append(fields[2] if len(fields) > 2 else "")
        elif fields[0] == "@@said" and len(fields) > 2:
            found["said"].setdefault(fields[1], []).append(fields[2])
        elif fields[0] == "@@list" and len(fields) > 2 and fields[2].startswith("Port "):
            found["notes"].setdefault(fields[1], []).append(fields[2])
        elif fields[0] == "@@list" and len(fields) > 2:
            row = fields[2].split()
            found["list"].setdefault(fields[1], {})[row[0]] = row[1:]
        elif fields[0] == "@@lines" and len(fields) > 2:
            port, _, text = fields[2].partition(" ")
            shown, _, names = text.partition(" ")
            found["lines"].setdefault(fields[1], {})[port] = names.split("|") if shown == "shown" else None
        elif fields[0] == "@@rs485" and len(fields) > 2:
            port, _, text = fields[2].partition(" ")
            match = re.match(r"flags=0x([0-9a-f]+) delays=(\d+)/(\d+)", text)
            found["settings"].setdefault(fields[1], {})[port] = \
                (int(match.group(1), 16), int(match.group(2)), int(match.group(3))) if match else text
    return found


def mode_of(flags):
    return flags & (ENABLED | RX_DURING_TX | RS422) if flags & ENABLED else 0


def listed_mode(settings):
    """The mode as the list shows it: its columns from MODE to DELAYS."""
    flags, before, after = settings
    mode = {0: "RS-485 off", ENABLED: "RS485", ENABLED | RX_DURING_TX: "RS485-4W", ENABLED | RS422: "RS422"}.get(
        mode_of(flags), "other")
    on_send, after_send = bool(flags & RTS_ON_SEND), bool(flags & RTS_AFTER_SEND)
    rts = "none" if on_send == after_send else "high" if on_send else "low"
    return mode.split() + [rts, f"{before}/{after}"]


def listed_termination(row):
    """The list's TERM column: the cell after the delays."""
    delays = next((index for index, cell in enumerate(row) if re.fullmatch(r"\d+/\d+", cell)), None)
    return row[delays + 1] if delays is not None and delays + 1 < len(row) else None


def check_runs(board, found, check, name):
    """Every run against what each port held before and holds after it: a port
    set holds its mode (with its polarity and delays where RS-485 stayed on), a
    port reported as failed holds the mode it had (exactly, where RS-485 was
    on), a port not named is as it was."""
    before = found["settings"].get("boot", {})
    for run, text, *_ in board["runs"]:
        after = found["settings"].get(run, {})
        log = found["logs"].get(run, [])
        check(name(f"{run}: exit status 0, log starts with the banner"),
              found["exits"].get(run) == "0" and log[:1] == [program_banner()], (found["exits"].get(run), log))
        if "logs" in board:
            check(name(f"{run}: the log says {board['logs'][run]}"), log[2:] == board["logs"][run], log[2:])
        if run in board.get("termination", {}):
            check(name(f"{run}: the termination line is {board['termination'][run]}, and the list says so"),
                  found["termination"].get(run) == board["termination"][run] and
                  listed_termination(found["list"].get(run, {}).get(board["ports"][0], [])) ==
                  {"hi": "on", "lo": "off"}[board["termination"][run]],
                  (found["termination"].get(run), found["list"].get(run)))
        if "said" in board:
            check(name(f"{run}: the library says {board['said'][run]}, and so does the list"),
                  found["said"].get(run) == board["said"][run] and found["notes"].get(run) == board["said"][run],
                  (found["said"].get(run), found["notes"].get(run)))
        # Each port takes the first line for its number that no port before it took.
        entries = [(int(number), MODES[mode]) for number, mode in re.findall(r"Port(\d+)=([A-Z0-9-]+)", text)]
        for port in board["ports"]:
            number = int(re.search(r"\d+$", port).group())
            entry = next((entry for entry in entries if entry[0] == number), None)
            if entry:
                entries.remove(entry)
            # Held open by another program with DTR low: a run opens it too, and
            # puts back the line the kernel raised.
            lines = found["lines"].get(run, {}).get(port)
            check(name(f"{run}: {port} held by another program keeps DTR low"),
                  lines is not None and "DTR" not in lines, lines)
            old, new = before.get(port), after.get(port)
            row = found["list"].get(run, {}).get(port, [])
            if isinstance(new, tuple):
                check(name(f"{run}: {port} listed with its number and the mode it holds"),
                      row[:2] == [str(number), "yes"] and row[2:2 + len(listed_mode(new))] == listed_mode(new),
                      (row, new))
            if not isinstance(old, tuple) or not isinstance(new, tuple):
                check(name(f"{run}: {port} read back"), False, (old, new))
                continue
            if not_set(number) in log:
                ok = mode_of(new[0]) == mode_of(old[0]) and (not old[0] & ENABLED or new == old)
                check(name(f"{run}: {port} reported failed, and holds the mode it had"), ok, (old, new))
            elif entry:
                ok = mode_of(new[0]) == entry[1]
                if entry[1] & ENABLED and old[0] & ENABLED and not entry[1] & RS422:
                    ok = ok and new[0] & (RTS_ON_SEND | RTS_AFTER_SEND) == old[0] & (RTS_ON_SEND | RTS_AFTER_SEND) \
                        and new[1:] == old[1:]
                check(name(f"{run}: {port} set, holds the mode with its polarity and delays"), ok, (old, new))
            else:
                check(name(f"{run}: {port} not named, as it was"), new == old, (old, new))
        before = after


def check_virt(found, check, name):
    """The PL011: no RS-485 before 6.0, then every mode but RS-422."""
    release = found["kernel"]
    major, minor = (int(part) for part in re.match(r"(\d+)\.(\d+)", release or "0.0").groups())
    port = lambda run: found["settings"].get(run, {}).get("ttyAMA0")
    body = lambda run: found["logs"].get(run, [])[2:]
    check(name("the machine has phantom 8250 ports of type 0"),
          any(tty.startswith("ttyS") and value == "0" for tty, value in found["types"].items()), found["types"])
    if (major, minor) < (6, 0):
        # No RS-485 support in this kernel's PL011: never touched, never reported.
        check(name("an unconfigured run reports only the missing numbers"),
              body("untouched") == [not_found(7), not_found(1)], body("untouched"))
        for run in ("two-wire", "four-wire", "rs422", "rs232"):
            check(name(f"{run}: port 0 neither touched nor reported"),
                  body(run) == [not_found(0)] and port(run) == port("boot"), (body(run), port(run)))
        return False
    check(name("at boot the kernel holds the board's details: RS-485 off, active-low, delays 3/5"),
          port("boot") == (RTS_AFTER_SEND, 3, 5), port("boot"))
    check(name("a run that does not name the port reports it and the missing numbers"),
          body("untouched") == [without_mode(0), not_found(7), not_found(1)],
          body("untouched"))
    check(name("two-wire: RS-485 on with the board's polarity and delays"),
          port("two-wire") == (ENABLED | RTS_AFTER_SEND, 3, 5), port("two-wire"))
    check(name("RS-422: this driver cannot, the log says so"), body("rs422") == [not_set(0)],
          body("rs422"))
    check(name("another program's lock on a port in its mode: left alone, reported as set"),
          body("locked-in-mode") == [] and not found["said"].get("locked-in-mode"),
          (body("locked-in-mode"), found["said"].get("locked-in-mode")))
    check(name("held exclusively, run without CAP_SYS_ADMIN: located, failed, and said to be held"),
          body("exclusive") == [not_set(0)] and found["said"].get("exclusive") ==
          ["ttyAMA0: RS-485 two-wire not set: another program holds the port"],
          (body("exclusive"), found["said"].get("exclusive")))
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--board", choices=sorted(BOARDS), default="virt")
    parser.add_argument("--kernel", action="append", required=True)
    for option in ("--busybox", "--bin", "--sysroot", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    board = BOARDS[args.board]
    work = os.path.join(args.work, args.board)
    os.makedirs(work, exist_ok=True)
    initrd = os.path.join(work, "initramfs.cpio.gz")
    initramfs(args, board, initrd)

    check = Checks()

    for kernel in args.kernel:
        print(f"== {args.board}: {os.path.basename(kernel)}", flush=True)
        dtb = board["dtb"](work, kernel)
        output = boot(kernel, initrd, dtb, None, f"console={board['console']} panic=-1 quiet rdinit=/init", 300,
                      board["command"])
        found = parse(output)
        name = lambda text: f"{args.board} {found['kernel']}: {text}"
        check(name("the machine ran every case"), "@@done" in output, output[-3000:])
        if args.board != "virt" or check_virt(found, check, name):
            check_runs(board, found, check, name)

    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
