#!/usr/bin/env python3
"""The Ansible role against a real system: boots the boot test's Debian
arm64 system (systemd, udev, sshd, python3) under QEMU without the package,
reachable over SSH on a port forwarded to the loopback address, and runs the
example playbook with the role: the package installed from a folder, the
configuration written, the job run, the log fetched; then a configuration
with a bad line, refused by validation; then a port not found, which fails
the unit but not the host; then a host with a failing port, failed as asked.

Usage: ansible_test.py --kernel vmlinuz --rootfs root.tar --packages DIR --rs485-show FILE --work DIR
"""
import argparse
import glob
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

from machine import Checks, Cpio, board_device_tree, machine

MEMORY = "1024M"
ROLE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ansible")


def prepare_root(args, root, public_key):
    """The cached system as installed, with the test's key for root, a
    static address on QEMU's user network and nothing of the package."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    subprocess.run(["tar", "-C", root, "--numeric-owner", "-xpf", args.rootfs], check=True)
    shutil.copy(args.rs485_show, os.path.join(root, "usr/local/bin/rs485_show"))
    os.makedirs(os.path.join(root, "root/.ssh"), mode=0o700, exist_ok=True)
    shutil.copy(public_key, os.path.join(root, "root/.ssh/authorized_keys"))
    # The network card's driver, from the kernel's own package, for udev to
    # load (Debian 13's are under /usr and compressed).
    release = os.path.basename(args.kernel).removeprefix("vmlinuz-")
    package = os.path.dirname(os.path.dirname(args.kernel))
    modules = next(path for path in (os.path.join(package, "lib/modules", release),
                                     os.path.join(package, "usr/lib/modules", release)) if os.path.isdir(path))
    files = ["modules.order", "modules.builtin", "modules.builtin.modinfo"]
    for module in ("kernel/net/core/failover", "kernel/drivers/net/net_failover",
                   "kernel/drivers/virtio/virtio_pci_legacy_dev", "kernel/drivers/virtio/virtio_pci_modern_dev",
                   "kernel/drivers/virtio/virtio_pci", "kernel/drivers/net/virtio_net"):
        files += [os.path.relpath(found, modules) for found in glob.glob(os.path.join(modules, module + ".ko*"))]
    for name in files:
        os.makedirs(os.path.dirname(os.path.join(root, "lib/modules", release, name)), exist_ok=True)
        shutil.copy(os.path.join(modules, name), os.path.join(root, "lib/modules", release, name))
    subprocess.run(["depmod", "-b", root, release], check=True)
    os.makedirs(os.path.join(root, "etc/systemd/network"), exist_ok=True)
    with open(os.path.join(root, "etc/systemd/network/10-user.network"), "w") as network:
        network.write("[Match]\nName=e*\n[Network]\nAddress=10.0.2.15/24\nGateway=10.0.2.2\n")
    wants = os.path.join(root, "etc/systemd/system/multi-user.target.wants")
    os.makedirs(wants, exist_ok=True)
    if not os.path.lexists(os.path.join(wants, "systemd-networkd.service")):
        os.symlink("/lib/systemd/system/systemd-networkd.service", os.path.join(wants, "systemd-networkd.service"))
    with open(os.path.join(root, "etc/hostname"), "w") as hostname:
        hostname.write("skarvel-test\n")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kernel", "--rootfs", "--packages", "--rs485-show", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    key = os.path.join(work, "key")
    subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key], check=True)
    root = os.path.join(work, "root")
    prepare_root(args, root, key + ".pub")
    initrd = os.path.join(work, "root.cpio.gz")
    archive = Cpio(initrd, level=1)
    archive.add_tree(root)
    archive.close()
    shutil.rmtree(root)

    port = free_port()
    command = machine(MEMORY)
    # A network card without a boot ROM (none is installed for it), on a
    # network that reaches nothing but the forwarded port.
    at = command.index("-nic")
    command[at:at + 2] = ["-netdev", f"user,id=net,restrict=on,hostfwd=tcp:127.0.0.1:{port}-:22",
                          "-device", "virtio-net-pci,netdev=net,romfile="]
    command += ["-kernel", args.kernel, "-initrd", initrd, "-dtb", board_device_tree(work, MEMORY),
                "-append", "console=ttyAMA0 panic=-1 rdinit=/lib/systemd/systemd"]
    console = open(os.path.join(work, "console.log"), "wb")
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=console, stderr=subprocess.STDOUT)
    stopper = threading.Timer(1500, qemu.kill)
    stopper.start()

    ssh_options = ["-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
                   "-o", "LogLevel=ERROR", "-o", "ConnectTimeout=20", "-i", key, "-p", str(port)]
    remote = lambda text: subprocess.run(["ssh", *ssh_options, "root@127.0.0.1", text], capture_output=True,
                                         text=True).stdout

    check = Checks()

    try:
        deadline = time.monotonic() + 900
        while time.monotonic() < deadline and qemu.poll() is None and remote("echo up").strip() != "up":
            time.sleep(5)
        if not check("the system booted and answers over SSH", remote("echo up").strip() == "up"):
            return 1

        inventory = os.path.join(work, "inventory.yml")

        def play(ports, fail_on_errors=False):
            with open(inventory, "w") as text:
                text.write(f"""skarvelconfig:
  hosts:
    board:
      ansible_host: 127.0.0.1
      ansible_port: {port}
      ansible_user: root
      ansible_ssh_private_key_file: {key}
      ansible_ssh_common_args: "-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null"
      ansible_python_interpreter: /usr/bin/python3
      skarvelconfig_package_dir: {os.path.abspath(args.packages)}
      skarvelconfig_log_dir: {work}/logs
      skarvelconfig_fail_on_port_errors: {str(fail_on_errors).lower()}
      skarvelconfig_ports: {ports}
""")
            result = subprocess.run(["ansible-playbook", "-i", inventory, "site.yml"], cwd=ROLE_DIR,
                                    capture_output=True, text=True, env=dict(os.environ, ANSIBLE_NOCOLOR="1"))
            return result.returncode, result.stdout + result.stderr

        status, output = play("{0: RS485-4W}")
        check("the playbook installed, configured and ran the job", status == 0, output[-3000:])
        config = remote("cat /etc/skarvelconfig/SkarvelConfig.cfg")
        check("the configuration landed", "\nPort0=RS485-4W\n" in config, config)
        unit = remote("systemctl show -p ActiveState,Result,ExecMainStatus skarvelconfig.service").split()
        check("the unit ran again and succeeded",
              sorted(unit) == ["ActiveState=active", "ExecMainStatus=0", "Result=success"], unit)
        fetched = os.path.join(work, "logs", "board.log")
        log = remote("cat /var/log/skarvelconfig/SkarvelConfig.log")
        digest = remote("sha256sum /var/log/skarvelconfig/SkarvelConfig.log").split()[:1]
        check("the fetched log is the one on the machine, and says the run set the port",
              os.path.exists(fetched) and [hashlib.sha256(open(fetched, "rb").read()).hexdigest()] == digest and
              log.splitlines()[2:] == [], log)
        settings = remote("rs485_show /dev/ttyAMA0")
        check("the port holds four-wire with the board's polarity and delays",
              settings.startswith("flags=0x15 delays=3/5"), settings)
        check("the report names no failed port", "failed ports none; not found none" in output, output[-2000:])

        status, output = play("{0: RS486}")
        check("a configuration with a bad line is refused by validation",
              status != 0 and "failed to validate" in output, output[-2000:])
        check("and the host's configuration stays as it was",
              remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config)

        status, output = play("{0: RS485-4W, 7: RS232}")
        failed = remote("systemctl is-failed skarvelconfig.service").strip()
        check("a port not found fails the unit, but the host only where asked",
              status == 0 and "not found 7" in output and failed == "failed", (failed, output[-2000:]))

        status, output = play("{0: RS422, 7: RS232}", fail_on_errors=True)
        check("a host with a failing port is reported, and failed as asked",
              status != 0 and "failed ports 0; not found 7" in output, output[-2000:])
        check("its fetched log says so",
              os.path.exists(fetched) and "Failed to set mode for port 0." in open(fetched).read())
    finally:
        remote("systemctl poweroff --force --force")
        try:
            qemu.wait(timeout=30)
        except subprocess.TimeoutExpired:
            qemu.kill()
        stopper.cancel()

    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
