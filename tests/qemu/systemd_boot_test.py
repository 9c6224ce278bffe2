#!/usr/bin/env python3
"""Boots a minimal Debian arm64 system (systemd, udev) under QEMU with the
Debian package installed, on the board's device tree (RS-485 details on the
PL011, ttyAMA0), and checks after the boot: the unit ran before sysinit.target
and before the port's getty, the log says what the configuration in /etc
asked, the port holds the mode, the journal shows the log, the unit's
exposure; that a card kept away by a udev rule was not opened at boot and
another took its number from udev; then that an upgrade keeps an edited
configuration and runs nothing, that neither it nor a card rescanned
changes the lines of a port another program holds, and that a purge leaves
nothing behind.

Usage: systemd_boot_test.py --kernel vmlinuz --rootfs root.tar --package pkg.deb --rs485-show FILE --work DIR
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

from machine import ENABLED, RTS_AFTER_SEND, RX_DURING_TX, Cpio, board_device_tree, boot, machine, port_state, \
    promtool_verdict, samples

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402
from expected_log import load_failed, not_found, not_set, program_banner, without_mode  # noqa: E402

MEMORY = "1024M"
# PCI serial cards (16550, no RS-485): one kept away, one numbered by udev,
# and one another program holds.
IGNORED_CARD, NUMBERED_CARD = "0000:00:03.0", "0000:00:04.0"
CARDS = [option for slot in (3, 4, 5) for option in
         ("-chardev", f"null,id=card{slot}", "-device", f"pci-serial,addr=0{slot}.0,chardev=card{slot}")]


def prepare_root(args, root):
    """The cached root file system with the package installed, as dpkg
    installs it (its scripts run through the machine's arm64 emulation), a
    configuration, and the checks to run once the system is up."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    subprocess.run(["tar", "-C", root, "--numeric-owner", "-xpf", args.rootfs], check=True)
    shutil.copy(args.package, os.path.join(root, "root/skarvelconfig.deb"))
    shutil.copy(args.rs485_show, os.path.join(root, "usr/local/bin/rs485_show"))
    installed = subprocess.run(["chroot", root, "dpkg", "-i", "/root/skarvelconfig.deb"], capture_output=True, text=True)
    if installed.returncode != 0:
        raise SystemExit("dpkg -i in the root file system failed:\n" + installed.stdout + installed.stderr)
    shutil.copy(os.path.join(root, "etc/skarvelconfig/SkarvelConfig.cfg"), os.path.join(root, "root/shipped.cfg"))
    with open(os.path.join(root, "etc/skarvelconfig/SkarvelConfig.cfg"), "w") as config:
        config.write("Port0=RS485\r\n")
    shutil.copy(os.path.join(os.path.dirname(__file__), "boot_checks.sh"), os.path.join(root, "root/boot_checks.sh"))
    os.chmod(os.path.join(root, "root/boot_checks.sh"), 0o755)
    with open(os.path.join(root, "etc/systemd/system/boot-checks.service"), "w") as unit:
        unit.write("[Unit]\nAfter=multi-user.target\n[Service]\nType=oneshot\nExecStart=/root/boot_checks.sh\n"
                   "[Install]\nWantedBy=multi-user.target\n")
    os.symlink("/etc/systemd/system/boot-checks.service",
               os.path.join(root, "etc/systemd/system/multi-user.target.wants/boot-checks.service"))
    with open(os.path.join(root, "etc/hostname"), "w") as hostname:
        hostname.write("skarvel-test\n")
    # The two PCI serial cards: the first kept away, the second numbered.
    with open(os.path.join(root, "etc/udev/rules.d/59-skarvelconfig-cards.rules"), "w") as rules:
        rules.write(f'SUBSYSTEM=="tty", KERNELS=="{IGNORED_CARD}", ENV{{SKARVELCONFIG_IGNORE}}="1"\n'
                    f'SUBSYSTEM=="tty", KERNELS=="{NUMBERED_CARD}", ENV{{SKARVELCONFIG_PORT}}="9"\n')


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kernel", "--rootfs", "--package", "--rs485-show", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    root = os.path.join(args.work, "root")
    prepare_root(args, root)
    initrd = os.path.join(args.work, "root.cpio.gz")
    archive = Cpio(initrd, level=1)
    archive.add_tree(root)
    archive.close()
    dtb = board_device_tree(args.work, MEMORY)
    output = boot(args.kernel, initrd, dtb, MEMORY, "console=ttyAMA0 panic=-1 rdinit=/lib/systemd/systemd", 900,
                  machine(MEMORY) + CARDS)
    with open(os.path.join(args.work, "console.log"), "w") as console:
        console.write(output)

    found = {}
    for line in output.splitlines():
        at = line.find("@@")
        if at >= 0:
            key, _, rest = line[at + 2:].partition(" ")
            found.setdefault(key, []).append(rest)
    first = lambda key: (found.get(key) or [""])[0]
    stamps = {words[0]: int(words[1]) for words in (entry.split() for entry in found.get("ready", []) +
                                                    found.get("started", [])) if len(words) == 2}
    settings = lambda when: next((tuple(int(x, 0) for x in re.match(
        r"flags=(0x[0-9a-f]+) delays=(\d+)/(\d+)", entry.split(" ", 1)[1]).groups())
        for entry in found.get("rs485", []) if entry.startswith(when + " flags=")), None)
    log = lambda when: [entry.split(" ", 1)[1] if " " in entry else "" for entry in found.get("log", [])
                        if entry.split(" ", 1)[0] == when]

    check = Checks()
    metrics = {}
    for entry in found.get("metric", []):
        when, _, line = entry.partition(" ")
        metrics.setdefault(when, []).append(line)
    for when, outcome, port in (("boot", 0, port_state(0, 1, "ttyAMA0", "RS485", "set")),
                                ("problems", 1, port_state(5, 2, "", "RS232", "not_found"))):
        served = metrics.get(when, [])
        values = samples(served)
        check(f"{when}: the node exporter serves the run's outcome ({outcome}), its version and each port's state",
              values.get(("skarvelconfig_run_outcome", ())) == outcome and
              values.get(("skarvelconfig_build_info", (("version", program_banner().split()[1]),))) == 1 and
              values.get(port) == 1, served)
        check(f"{when}: promtool finds the metrics clean", *promtool_verdict(served))

    check("the system booted and ran every check", "done" in found, output[-3000:])
    check("the unit ran at boot and succeeded", first("unit").split() == ["active", "success", "0"], first("unit"))
    unit, sysinit, getty = (stamps.get(name, 0) for name in
                            ("skarvelconfig.service", "sysinit.target", "serial-getty@ttyAMA0.service"))
    check("it was done before sysinit.target and before the port's getty started",
          0 < unit <= sysinit and (getty == 0 or unit <= getty), stamps)
    boot_log = log("boot")
    check("the log in /var/log/skarvelconfig says what the configuration in /etc asked",
          boot_log[:1] == [program_banner()] and len(boot_log) == 2, boot_log)
    check("the port holds two-wire RS-485 with the board's polarity and delays",
          settings("boot") == (ENABLED | RTS_AFTER_SEND, 3, 5), settings("boot"))
    check("the journal shows the log, and nothing at warning priority", program_banner() in found.get("journal", [])
          and not found.get("warning"), (found.get("journal"), found.get("warning")))
    check("a run still going is waited for, in the unit's sandbox too", 4 <= int(first("waited") or 0) < 30,
          first("waited"))
    outcomes = {words[0]: words[1:] for words in (entry.split() for entry in found.get("outcome", []))}
    lines = {}
    for entry in found.get("line", []):
        name, priority, text = (entry.split(" ", 2) + [""])[:3]
        lines.setdefault((name, int(priority)), []).append(text)
    said = lambda name: {priority: lines.get((name, priority), []) for priority in (3, 4, 5)}
    check("the shipped configuration: the unit active, the port left alone at notice priority, no warning",
          outcomes.get("shipped") == ["active", "success", "0"] and
          said("shipped") == {3: [], 4: [], 5: [without_mode(0)]},
          (outcomes.get("shipped"), said("shipped")))
    check("a port not found: the unit failed (status 1), the line at warning priority",
          outcomes.get("problems") == ["failed", "exit-code", "1"] and said("problems")[4] == [not_found(5)],
          (outcomes.get("problems"), said("problems")))
    refused = said("refused")[4]
    check("a refused mode: the unit failed (status 1); the log's line and the library's reason at warning priority",
          outcomes.get("refused") == ["failed", "exit-code", "1"] and not_set(0) in refused and
          any(line.startswith("ttyAMA0: RS-422 not set: ") for line in refused), (outcomes.get("refused"), refused))
    config = "/etc/skarvelconfig/SkarvelConfig.cfg"
    check("an unreadable configuration: the unit failed (status 2), the path and the reason at error priority",
          outcomes.get("unreadable") == ["failed", "exit-code", "2"] and
          load_failed(config) in said("unreadable")[3] and
          "SkarvelConfig could not read its configuration " + config + ": Permission denied" in
          said("unreadable")[3], (outcomes.get("unreadable"), said("unreadable")))
    unwritten = "SkarvelConfig could not write its log /var/log/skarvelconfig/SkarvelConfig.log: "
    check("a full log file system: the unit failed (status 2), the path and the reason at error priority",
          outcomes.get("full") == ["failed", "exit-code", "2"] and
          said("full")[3] == [unwritten + "No space left on device"], (outcomes.get("full"), said("full")))
    check("a read-only log folder: status 2, the path and the reason at error priority, the old log not shown",
          outcomes.get("read-only") == ["failed", "exit-code", "2"] and
          said("read-only")[3] == [unwritten + "Read-only file system"]
          and not lines.get(("read-only", 6)), (outcomes.get("read-only"), said("read-only"), lines.get(("read-only", 6))))
    check("a user who may not write the log: status 2, the reason, not the old log",
          first("user-run") == "2" and len(found.get("user-line", [])) == 1 and found["user-line"][0].startswith(
              "SkarvelConfig could not write its log /var/log/skarvelconfig/SkarvelConfig.log: Permission denied. "),
          (first("user-run"), found.get("user-line")))
    exposure = re.search(r"exposure level for \S+: ([0-9.]+)", first("exposure"))
    check("the unit's exposure is 2.0 or less", exposure is not None and float(exposure.group(1)) <= 2.0,
          first("exposure"))
    check("at boot the port's own unit ran but did not run the job again",
          first("port-unit-boot") == "success 0", first("port-unit-boot"))
    check("a port that appears later is set: the job ran for it, and it holds the mode now configured",
          first("port-unit-added") == "1" and settings("added") == (ENABLED | RX_DURING_TX | RTS_AFTER_SEND, 3, 5),
          (first("port-unit-added"), settings("added")))
    check("the upgrade succeeded and kept the edited configuration",
          first("upgrade") == "0" and first("config") == "Port0=RS485-4W Port6=RS232", (first("upgrade"), first("config")))
    check("the upgrade did not run the job: the unit and the log keep the earlier run, the port its mode",
          first("upgrade-unit") == "kept" and first("upgrade-log") == "kept" and settings("upgrade") == settings("added"),
          (found.get("upgrade-unit"), found.get("upgrade-log"), settings("upgrade")))
    held = found.get("held", [])
    cards = dict(entry.split() for entry in found.get("card", []) if len(entry.split()) == 2)
    records, listed = first("records").split(), first("listed").split()
    check("at boot a card kept away by a udev rule was never opened, and another took its number from udev",
          cards.get("ignored") and cards.get("numbered") and cards["ignored"] not in records + [row.split(":")[0] for
          row in listed] and f"{cards['numbered']}:9" in listed and cards["numbered"] in records,
          (cards, records, listed))
    check("a port another program holds with DTR low keeps its lines through an upgrade and another card rescanned,"
          " whose port the job ran for", [entry.split()[0] for entry in held] == ["before", "upgraded", "rescanned"]
          and len({entry.split()[-1] for entry in held}) == 1 and "DTR" not in held[0].split()[-1].split("|") and
          "RTS" in held[0].split()[-1].split("|") and first("rescan-run") == "1", (held, first("rescan-run")))
    check("a port kept away by a udev rule is neither touched nor numbered",
          log("ignored")[2:] == [not_found(0)] and settings("ignored") == settings("upgrade"),
          (log("ignored"), settings("ignored")))
    check("the purge succeeded and left nothing behind", first("purge") == "0" and not found.get("left"),
          (first("purge"), found.get("left")))

    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
