#!/usr/bin/env python3
"""The Ansible role and SkarvelConfig's apt repository against a real
system: boots the boot test's Debian arm64 system (systemd, udev, sshd,
python3, unattended-upgrades, the node exporter) under QEMU without the
package, reachable over SSH on a port forwarded to the loopback address, with
the repository (made by tools/apt-repository, signed with a throwaway key)
served over HTTP from the loopback address. The example playbook with the
role, taking the package from the repository: previewed in check mode on the
fresh host, changing nothing; installed, the configuration written, the job
run, the log fetched, the outcome from the command's exit status; a change
previewed on the configured host, changing nothing and saying which port
would change; a mode that is none refused before anything reaches the host;
a port not found, which fails the unit but not the host, served by the node
exporter; a host with a failing port, failed as asked; a port numbered by
the role's udev rule; the package from a folder instead. Then the next
version, whose shipped configuration changed, published, and
unattended-upgrades brings it without asking; a repository signed by another
key, and a package altered after signing, both refused by apt with nothing
installed; the version after published, and apt-get upgrade brings it. Each
upgrade keeps the configuration and does not run the job; the
administrator's next run is the new version's. A version pinned back is
installed; the package removed, then purged.

Usage: ansible_test.py --kernel vmlinuz --rootfs root.tar --packages DIR --upgrades NEXT.deb AFTER.deb
                       --rs485-show FILE --work DIR
"""
import argparse
import glob
import functools
import hashlib
import http.server
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

from machine import Cpio, board_device_tree, machine, port_state, promtool_verdict, samples

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402
from expected_log import not_set  # noqa: E402

MEMORY = "1024M"
# The longest any one step (a playbook, a command over SSH) may take.
STEP_SECONDS = 900
SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ROLE_DIR = os.path.join(SOURCE_DIR, "ansible")
# Where the system reaches the repository: an address of QEMU's user network
# whose connections are handed to the server on this machine's loopback.
REPOSITORY_URL = "http://10.0.2.100/"
# Hands one connection over to the repository's server (QEMU runs it for each
# connection, on the connection).
RELAY = """import os, socket, sys, threading
server = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
def upward():
    while data := os.read(0, 65536):
        server.sendall(data)
    server.shutdown(socket.SHUT_WR)
threading.Thread(target=upward, daemon=True).start()
while data := server.recv(65536):
    while data:
        data = data[os.write(1, data):]
"""


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
    # Debian's own sources are out of reach here: the repository is the one.
    for sources in ("etc/apt/sources.list", "etc/apt/sources.list.d/debian.sources"):
        if os.path.exists(os.path.join(root, sources)):
            os.remove(os.path.join(root, sources))


def signing_key(work, name):
    """A throwaway OpenPGP key, its secret part in a file as an
    administrator would hand it to tools/apt-repository."""
    home = os.path.join(work, "gnupg-" + name)
    os.makedirs(home, mode=0o700)
    environment = dict(os.environ, GNUPGHOME=home)
    subprocess.run(["gpg", "--batch", "--passphrase", "", "--quick-gen-key",
                    f"SkarvelConfig {name} test key <{name}@skarvelconfig.example>", "default", "default", "never"],
                   env=environment, check=True, capture_output=True)
    secret = os.path.join(work, name + ".key")
    with open(secret, "wb") as file:
        file.write(subprocess.run(["gpg", "--batch", "--armor", "--export-secret-keys"], env=environment,
                                  check=True, capture_output=True).stdout)
    subprocess.run(["gpgconf", "--kill", "all"], env=environment)
    return secret


def publish(repository, key, packages):
    """tools/apt-repository, as the administrator runs it; its output."""
    result = subprocess.run([os.path.join(SOURCE_DIR, "tools", "apt-repository"), "--key", key,
                             "--url", REPOSITORY_URL, repository, *packages],
                            capture_output=True, text=True, env={k: v for k, v in os.environ.items()
                                                                 if k != "GNUPGHOME"})
    if result.returncode != 0:
        raise RuntimeError(f"apt-repository failed: {result.stdout}{result.stderr}")
    return result.stdout


def repository_server(served):
    """An HTTP server on the loopback for the folder `served` points to."""
    handler = functools.partial(type("Quiet", (http.server.SimpleHTTPRequestHandler,),
                                     {"log_message": lambda *arguments: None}), directory=served)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def serve(served, repository):
    link = served + ".new"
    os.symlink(repository, link)
    os.replace(link, served)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    for option in ("--kernel", "--rootfs", "--packages", "--rs485-show", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--upgrades", nargs=2, required=True)
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

    # The repository with the version the role installs.
    package = sorted(glob.glob(os.path.join(os.path.abspath(args.packages), "skarvelconfig_*_arm64.deb")))[-1]
    version, next_version, last_version = (os.path.basename(path).split("_")[1]
                                           for path in (package, *args.upgrades))
    good_key, other_key = signing_key(work, "release"), signing_key(work, "other")
    repository = os.path.join(work, "repository")
    publish(repository, good_key, [package])
    served = os.path.join(work, "served")
    serve(served, repository)
    server = repository_server(served)
    relay = os.path.join(work, "relay.py")
    with open(relay, "w") as text:
        text.write(RELAY)

    port = free_port()
    command = machine(MEMORY)
    # A network card without a boot ROM (none is installed for it), on a
    # network that reaches nothing but the forwarded port and the repository.
    at = command.index("-nic")
    command[at:at + 2] = ["-netdev", f"user,id=net,restrict=on,hostfwd=tcp:127.0.0.1:{port}-:22,"
                                     f"guestfwd=tcp:10.0.2.100:80-cmd:python3 {relay} {server.server_address[1]}",
                          "-device", "virtio-net-pci,netdev=net,romfile="]
    command += ["-kernel", args.kernel, "-initrd", initrd, "-dtb", board_device_tree(work, MEMORY),
                "-append", "console=ttyAMA0 panic=-1 rdinit=/lib/systemd/systemd"]
    console = open(os.path.join(work, "console.log"), "wb")
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=console, stderr=subprocess.STDOUT)

    ssh_options = ["-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
                   "-o", "LogLevel=ERROR", "-o", "ConnectTimeout=20", "-i", key, "-p", str(port)]
    # Each step has a bound of its own, not the whole test: on a loaded
    # machine under TCG the plays together take longer than any fixed total,
    # and a machine cut off in the middle fails every later check for nothing.
    def remote(text, seconds=STEP_SECONDS):
        return subprocess.run(["ssh", *ssh_options, "root@127.0.0.1", text], capture_output=True, text=True,
                              timeout=seconds).stdout

    check = Checks()

    try:
        deadline = time.monotonic() + 900
        while time.monotonic() < deadline and qemu.poll() is None and remote("echo up").strip() != "up":
            time.sleep(5)
        if not check("the system booted and answers over SSH", remote("echo up").strip() == "up"):
            return 1

        inventory = os.path.join(work, "inventory.yml")

        def play(ports, fail_on_errors=False, folder=False, check_mode=False, more=""):
            folder = os.path.abspath(args.packages) if folder is True else folder
            source = (f"skarvelconfig_package_dir: {folder}" if folder else
                      f"skarvelconfig_repository_url: {REPOSITORY_URL}\n"
                      f"      skarvelconfig_repository_key: {repository}/skarvelconfig.gpg\n"
                      f"      skarvelconfig_unattended_upgrades: true")
            source += "".join(f"\n      {line}" for line in more.splitlines())
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
      {source}
      skarvelconfig_log_dir: {work}/logs
      skarvelconfig_fail_on_port_errors: {str(fail_on_errors).lower()}
      skarvelconfig_ports: {ports}
""")
            result = subprocess.run(["ansible-playbook", "-i", inventory, "site.yml",
                                     *(["--check", "--diff"] if check_mode else [])], cwd=ROLE_DIR,
                                    capture_output=True, text=True, env=dict(os.environ, ANSIBLE_NOCOLOR="1"),
                                    timeout=STEP_SECONDS)
            return result.returncode, result.stdout + result.stderr

        installed = lambda: remote("dpkg-query -W -f '${Version}' skarvelconfig 2>/dev/null").strip()
        status, output = play("{0: RS485-4W}", check_mode=True)
        check("check mode on a fresh host fails nothing, changes nothing and shows the configuration's diff",
              status == 0 and installed() == "" and remote("ls /etc/skarvelconfig 2>&1").startswith("ls:") and
              "+Port0=RS485-4W" in output and "SkarvelConfig is not installed on board" in output, output[-3000:])

        status, output = play("{0: RS485-4W}")
        check("the playbook installed, configured and ran the job, and says the run was clean",
              status == 0 and "SkarvelConfig on board: clean;" in output, output[-3000:])
        policy = remote("apt-cache policy skarvelconfig")
        check("the package came from the repository, named by the role's source file and key",
              installed() == version and REPOSITORY_URL.rstrip("/") + " " in policy and
              remote("cat /etc/apt/sources.list.d/skarvelconfig.sources").splitlines() ==
              ["Types: deb", f"URIs: {REPOSITORY_URL}", f"Suites: {os.path.basename(args.rootfs).split('-')[0]}",
               "Components: main", "Signed-By: /etc/apt/keyrings/skarvelconfig.gpg"], (installed(), policy))
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

        invocation = lambda: remote("systemctl show -p InvocationID --value skarvelconfig.service").strip()
        before = invocation()
        status, output = play("{0: RS232}", check_mode=True)
        check("check mode on a configured host changes nothing, shows the diff and says which port would change",
              status == 0 and remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config and
              invocation() == before and remote("rs485_show /dev/ttyAMA0").startswith("flags=0x15 ") and
              "-Port0=RS485-4W" in output and "+Port0=RS232" in output and
              "a run would change port 0 (ttyAMA0): RS485-4W to RS232." in output, output[-3000:])

        status, output = play("{0: RS486}")
        check("a mode that is none fails the host at the start, naming the variable",
              status != 0 and "skarvelconfig_ports: port numbers [] and modes ['RS486']" in output and
              "Check the ports and their modes" in output and "Find the host's architecture" not in output,
              output[-2000:])
        check("and the host's configuration stays as it was",
              remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config)
        status, output = play("{0: RS485-4W}", more="skarvelconfig_udev: [{device: ttyAMA0, port: x}]")
        check("a port number that is none fails the host at the start too, naming the variable",
              status != 0 and "skarvelconfig_udev" in output and "Find the host's architecture" not in output,
              output[-2000:])

        status, output = play("{0: RS485-4W, 7: RS232}")
        failed = remote("systemctl is-failed skarvelconfig.service").strip()
        check("a port not found fails the unit, but the host only where asked",
              status == 0 and "not found 7" in output and failed == "failed", (failed, output[-2000:]))
        metrics = [line for line in remote(
            "python3 -c 'import urllib.request; print(urllib.request.urlopen(\"http://127.0.0.1:9100/metrics\", "
            "timeout=30).read().decode())'").splitlines() if re.match(r"(# (HELP|TYPE) )?skarvelconfig_", line)]
        values = samples(metrics)
        check("the node exporter serves the run: problems, the port set and the port not found",
              values.get(("skarvelconfig_run_outcome", ())) == 1 and
              values.get(port_state(0, 4, "ttyAMA0", "RS485-4W", "set")) == 1 and
              values.get(port_state(7, 5, "", "RS232", "not_found")) == 1, metrics)
        check("promtool finds them clean", *promtool_verdict(metrics))

        status, output = play("{0: RS422, 7: RS232}", fail_on_errors=True)
        check("a host with a failing port is reported, and failed as asked",
              status != 0 and "failed ports 0; not found 7" in output, output[-2000:])
        check("its fetched log says so",
              os.path.exists(fetched) and not_set(0) in open(fetched).read())

        # A port numbered by the role's udev rule, then the rule gone again.
        status, output = play("{5: RS485-4W}", more="skarvelconfig_udev: [{device: ttyAMA0, port: 5}]")
        check("a port numbered by the role's udev rule takes its line",
              status == 0 and "SkarvelConfig on board: clean;" in output and
              "E: SKARVELCONFIG_PORT=5" in remote("udevadm info /dev/ttyAMA0"), output[-2000:])
        status, output = play("{0: RS485-4W}")
        check("without the rule the port has its own number again",
              status == 0 and "SkarvelConfig on board: clean;" in output and
              "SKARVELCONFIG_PORT" not in remote("udevadm info /dev/ttyAMA0"), output[-2000:])

        # The package from a folder instead, on a host without it.
        remote("DEBIAN_FRONTEND=noninteractive apt-get purge -y skarvelconfig")
        status, output = play("{0: RS485-4W}", folder=True)
        check("the role still installs the package from a folder",
              status == 0 and installed() == version, (installed(), output[-2000:]))
        config = remote("cat /etc/skarvelconfig/SkarvelConfig.cfg")
        apt = "DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300"

        def upgraded(route, to, command):
            """Runs `command` on the host; checks that it brought version `to`,
            kept the configuration and did not run the job (the unit still
            shows the earlier run, and its log stays), and that the
            administrator's own run is then the new version's."""
            unit = lambda: dict(line.split("=", 1) for line in
                                remote("systemctl show -p InvocationID,Result skarvelconfig.service").split())
            before = unit()
            log_before = remote("cat /var/log/skarvelconfig/SkarvelConfig.log")
            output = remote(f"{command} 2>&1; echo status=$?")
            check(f"{route} brings version {to}", installed() == to and output.endswith("status=0\n"),
                  (installed(), output[-2500:]))
            check(f"{route}: the configuration is kept", remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config)
            after = unit()
            log = remote("cat /var/log/skarvelconfig/SkarvelConfig.log")
            check(f"{route}: the job did not run; the unit still shows the earlier run, and its log stays",
                  after == before and log == log_before, (before, after, log))
            remote("skarvelconfig >/dev/null 2>&1")
            log = remote("cat /var/log/skarvelconfig/SkarvelConfig.log")
            check(f"{route}: the administrator's run is version {to}'s",
                  log.splitlines()[:1] == [f"SkarvelConfig {to}"] and log.splitlines()[2:] == [], log)

        candidate = lambda: re.search(r"Candidate: (\S+)", remote("apt-cache policy skarvelconfig"))

        # The next version, whose shipped configuration changed, through
        # unattended-upgrades, configured by the role for the repository's
        # origin, as apt's daily timer runs it: no question stops it.
        publish(repository, good_key, [args.upgrades[0]])
        upgraded("unattended-upgrades", next_version, f"{apt} update && unattended-upgrade --verbose")
        check("the shipped configuration that came with it changed, the host's stayed",
              f"; Release {next_version}." in remote("cat /usr/share/skarvelconfig/SkarvelConfig.cfg") and
              remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config)

        # A repository signed by a key the host does not trust.
        forged = os.path.join(work, "forged")
        shutil.copytree(repository, forged, symlinks=True)
        shutil.copytree(repository + ".state", forged + ".state", symlinks=True)
        publish(forged, other_key, [args.upgrades[1]])
        serve(served, forged)
        # apt's daily update warns and keeps the index it had; the role fails.
        output = remote(f"{apt} update 2>&1")
        check("a repository signed by another key: apt says the signature cannot be verified, and keeps its index",
              "signature" in output and candidate() and candidate().group(1) == next_version, output[-1500:])
        output = remote(f"{apt} upgrade -y 2>&1; echo status=$?")
        check("and apt-get upgrade then installs nothing", installed() == next_version, (installed(), output[-1500:]))
        status, output = play("{0: RS485-4W}")
        check("the role fails the host on that repository, and installs nothing",
              status != 0 and "signature" in output and installed() == next_version, output[-2000:])

        # The repository as made, but its package altered after signing.
        publish(repository, good_key, [args.upgrades[1]])
        serve(served, repository)
        pool = glob.glob(os.path.join(repository, "pool", "main", "s", "skarvelconfig",
                                      f"skarvelconfig_{last_version}_arm64.deb"))
        original = open(pool[0], "rb").read()
        altered = bytearray(original)
        altered[len(altered) // 2] ^= 0xFF
        with open(pool[0], "wb") as file:
            file.write(altered)
        output = remote(f"{apt} update && {apt} upgrade -y 2>&1; echo status=$?")
        check("a package altered after signing is refused by apt (its checksum does not match), and nothing is"
              " installed", not output.endswith("status=0\n") and "mismatch" in output and
              installed() == next_version, (installed(), output[-2500:]))
        with open(pool[0], "wb") as file:
            file.write(original)

        # The version after that, through apt-get upgrade.
        upgraded("apt-get upgrade", last_version, f"{apt} update && {apt} upgrade -y")

        # A version pinned back: the repository serves only its newest, so
        # the older package comes from a folder; held, apt-get upgrade leaves
        # it. Then the package removed, and purged.
        pinned = os.path.join(work, "pinned")
        os.makedirs(pinned, exist_ok=True)
        shutil.copy(args.upgrades[0], pinned)
        status, output = play("{0: RS485-4W}", folder=pinned, more=f'skarvelconfig_version: "{next_version}"')
        upgrade = remote(f"{apt} update && {apt} upgrade -y 2>&1")
        check(f"a version pinned back ({next_version}) is installed from a folder, and apt-get upgrade leaves it",
              status == 0 and installed() == next_version, (installed(), output[-2000:], upgrade[-1000:]))
        status, output = play("{0: RS485-4W}", more="skarvelconfig_state: absent")
        check("state absent removes the package and keeps its configuration",
              status == 0 and remote("dpkg-query -W -f '${db:Status-Abbrev}' skarvelconfig").strip() == "rc" and
              remote("cat /etc/skarvelconfig/SkarvelConfig.cfg") == config, output[-2000:])
        status, output = play("{0: RS485-4W}", more="skarvelconfig_state: purged")
        check("state purged purges it: neither its configuration nor its log stays",
              status == 0 and installed() == "" and
              remote("ls /etc/skarvelconfig /var/log/skarvelconfig 2>&1").count("No such file") == 2,
              output[-2000:])
    except subprocess.TimeoutExpired as late:
        # A hung step leaves the host in no known state: the checks after it
        # would say nothing.
        output = late.stdout.decode(errors="replace") if isinstance(late.stdout, bytes) else late.stdout or ""
        check(f"a step ends within {STEP_SECONDS} s", False, f"{late.cmd[0]}: {output[-2000:]}")
    finally:
        try:
            remote("systemctl poweroff --force --force", 60)
        except subprocess.TimeoutExpired:
            pass
        try:
            qemu.wait(timeout=30)
        except subprocess.TimeoutExpired:
            qemu.kill()
        server.shutdown()

    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
