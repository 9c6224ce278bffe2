"""What the tests on real kernels share: the boards they boot under QEMU, each
with a device tree that gives its UARTs a real board's RS-485 details, and
initramfs archives in the kernel's newc cpio format."""
import gzip
import os
import re
import shutil
import stat
import subprocess
import threading

# The kernel's RS-485 flags, as the tests read them back.
ENABLED, RTS_AFTER_SEND, RX_DURING_TX = 0x1, 0x4, 0x10


def samples(lines):
    """The samples of metrics in Prometheus' text format, whatever the order
    of their labels: {(name, ((label, value), ...)): value}."""
    found = {}
    for line in lines:
        match = re.match(r'([a-z_:]+)(?:\{(.*)\})? (\S+)$', line)
        if match:
            labels = tuple(sorted(re.findall(r'([a-z_]+)="((?:[^"\\]|\\.)*)"', match.group(2) or "")))
            found[(match.group(1), labels)] = float(match.group(3))
    return found


def promtool_verdict(lines):
    """Whether promtool finds served metrics clean, and what it said."""
    if not shutil.which("promtool"):
        return False, "no promtool on PATH (tools/boot-test puts Debian's there)"
    checked = subprocess.run(["promtool", "check", "metrics"], input="\n".join(lines) + "\n",
                             capture_output=True, text=True)
    return checked.returncode == 0 and bool(lines), checked.stdout + checked.stderr


def port_state(port, line, device, mode, state):
    """The key of one port's state among the samples."""
    return ("skarvelconfig_port_state", tuple(sorted({"port": str(port), "line": str(line), "device": device,
                                                      "mode": mode, "state": state}.items())))


def machine(memory):
    return ["qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a57", "-m", memory, "-nographic", "-no-reboot", "-nic", "none"]


class Cpio:
    """A gzip-compressed newc archive written entry by entry."""

    def __init__(self, path, level=6):
        self.out = gzip.open(path, "wb", compresslevel=level)
        self.inode = 0

    def add(self, path, mode, data=b"", uid=0, gid=0, mtime=0, rdev=(0, 0)):
        self.inode += 1
        name = path.encode() + b"\0"
        fields = [self.inode, mode, uid, gid, 1, mtime, len(data), 0, 0, rdev[0], rdev[1], len(name), 0]
        self.out.write(b"070701" + b"".join(b"%08X" % f for f in fields) + name)
        self.out.write(b"\0" * (-(110 + len(name)) % 4))
        self.out.write(data)
        self.out.write(b"\0" * (-len(data) % 4))

    def add_tree(self, top):
        """Everything under `top`, with its owners, modes and links."""
        for directory, subdirectories, files in os.walk(top):
            subdirectories.sort()
            for name in subdirectories + sorted(files):
                path = os.path.join(directory, name)
                info = os.lstat(path)
                relative = os.path.relpath(path, top)
                if stat.S_ISLNK(info.st_mode):
                    data = os.readlink(path).encode()
                elif stat.S_ISREG(info.st_mode):
                    with open(path, "rb") as source:
                        data = source.read()
                else:
                    data = b""
                rdev = (os.major(info.st_rdev), os.minor(info.st_rdev))
                self.add(relative, info.st_mode, data, info.st_uid, info.st_gid, int(info.st_mtime), rdev)

    def close(self):
        self.add("TRAILER!!!", 0)
        self.out.close()


def board_device_tree(work, memory):
    """QEMU's own device tree for the machine, with RS-485 details on the PL011."""
    plain, source, board = (os.path.join(work, name) for name in ("virt.dtb", "virt.dts", "board.dtb"))
    dump = machine(memory)
    dump[dump.index("virt")] = "virt,dumpdtb=" + plain
    subprocess.run(dump, check=True, capture_output=True)
    subprocess.run(["dtc", "-q", "-I", "dtb", "-O", "dts", "-o", source, plain], check=True)
    text = open(source).read()
    text, count = re.subn(r'(compatible = "arm,pl011[^;]*;)',
                          r'\1\n\t\trs485-rts-active-low;\n\t\trs485-rts-delay = <0x03 0x05>;', text)
    if count != 1:
        raise SystemExit(f"expected one PL011 node in QEMU's device tree, found {count}")
    open(source, "w").write(text)
    subprocess.run(["dtc", "-q", "-I", "dts", "-O", "dtb", "-o", board, source], check=True)
    return board


def patched_device_tree(work, dtb, edit):
    """A kernel package's device tree for a board, changed by `edit` (text to text)."""
    source, board = (os.path.join(work, name) for name in ("board.dts", "board.dtb"))
    subprocess.run(["dtc", "-q", "-I", "dtb", "-O", "dts", "-o", source, dtb], check=True)
    text = edit(open(source).read())
    open(source, "w").write(text)
    subprocess.run(["dtc", "-q", "-I", "dts", "-O", "dtb", "-o", board, source], check=True)
    return board


def with_properties(text, node, properties):
    """`text` with the node named `node` enabled and given `properties`."""
    pattern = re.compile(r"(\n\t*" + re.escape(node) + r" \{\n)(.*?)(\n\t*\};)", re.S)
    match = pattern.search(text)
    if not match:
        raise SystemExit(f"no node {node} in the device tree")
    body = re.sub(r'status = "[a-z]+";', 'status = "okay";', match.group(2))
    if "status" not in body:
        body += '\n\t\t\tstatus = "okay";'
    body += "".join(f"\n\t\t\t{line};" for line in properties)
    return text[:match.start()] + match.group(1) + body + match.group(3) + text[match.end():]


def boot(kernel, initrd, dtb, memory, append, timeout, command=None):
    """Boots and returns what the console printed, up to the "@@done" line of a
    test system (some boards cannot power off), or until `timeout`."""
    command = (command or machine(memory)) + ["-kernel", kernel, "-initrd", initrd, "-dtb", dtb, "-append", append]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    timer = threading.Timer(timeout, process.kill)
    timer.start()
    lines = []
    for raw in process.stdout:
        line = raw.decode(errors="replace").replace("\r", "")
        lines.append(line)
        if line.rstrip("\n").endswith("@@done"):
            break
    process.kill()
    process.wait()
    timer.cancel()
    return "".join(lines)
