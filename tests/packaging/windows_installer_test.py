#!/usr/bin/env python3
"""The Windows installer under 32-bit Wine, as an administrator uses it, with
the administrator's guide's commands and nothing else: as a Windows after
Vista, refuse a configuration or a port library it cannot use, leaving
nothing; install, run the installed program and the start-up task's
command, upgrade to the next version with the configuration edited, refuse
a downgrade and a second registration, uninstall; deploy in one command
with CONFIGFILE and PORTLIBRARY, and upgrade with CONFIGFILE in the
package's own properties, as a transform puts it; then as Windows XP,
install and uninstall.

What Wine cannot show: its schtasks registers a task definition but keeps
only its settings (not the start-up trigger, the account or the program),
and knows no XP-style /SC command, nor /Run, and nothing runs the task. So
the definition the installer wrote is checked and its command run, and on
XP the commands the installer ran (traced by Wine). Wine cannot make a
transform (MsiDatabaseGenerateTransform is a stub there).

Usage: windows_installer_test.py --wine "WINE;LOADER" --cmake CMAKE --msi "-DWIXL=...;-DPROGRAM=...;..."
                                 --objdump OBJDUMP --library LumtorPort.dll --version V --work DIR
(--msi: make_msi.cmake's definitions but the version, the output and the work folder)
"""
import argparse
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys

from wine import Wine

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402
from expected_log import line, not_found, without_mode  # noqa: E402

TRACE = "trace+schtasks"
CREATE_FROM_DEFINITION = 'L"/Create" L"/TN" L"SkarvelConfig" L"/XML"'
DELETE = 'L"/Delete" L"/TN" L"SkarvelConfig" L"/F"'
CREATE_XP = re.compile(r'L"/Create" L"/TN" L"SkarvelConfig" L"/SC" L"ONSTART" L"/RU" L"SYSTEM" '
                       r'L"/TR" L"\\"C:.*SkarvelConfig\.com\\""$')
# msiexec's status for a failed installation (1603), as a Linux process's
# status keeps it: its low byte.
FAILED = 1603 & 0xFF


def text_of(path):
    """A file Wine wrote, in whichever encoding its version writes (UTF-16 or UTF-8)."""
    data = open(path, "rb").read() if os.path.exists(path) else b""
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16", errors="replace")
    return data.decode("utf-16-le" if b"\0" in data else "utf-8-sig", errors="replace")


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest() if os.path.exists(path) else None


def main():
    parser = argparse.ArgumentParser()
    for option in ("--wine", "--cmake", "--msi", "--objdump", "--library", "--version", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    wine = Wine(args.wine)
    msibuild = next(option.split("=", 1)[1] for option in args.msi.split(";") if option.startswith("-DMSIBUILD="))
    check = Checks()

    # This version, and the next as Windows Installer counts versions (the
    # first three fields); the program names itself by the first two.
    major, minor = (int(field) for field in args.version.split(".")[:2])
    program_version = ".".join(args.version.split(".")[:2])
    msi = {}
    make_msi = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "make_msi.cmake")
    for name, version in (("first", args.version), ("next", f"{major}.{minor + 1}.0")):
        msi[name] = os.path.join(work, f"{name}.msi")
        subprocess.run([args.cmake, *args.msi.split(";"), f"-DVERSION={version}", f"-DOUTPUT={msi[name]}",
                        f"-DWORK={work}/staging", "-P", make_msi], check=True, capture_output=True)

    def install(name, *options):
        status, _, errors = wine.run("msiexec", *options, "Z:" + msi[name], "/qn", debug=TRACE)
        return status, [line for line in errors.splitlines() if "trace:schtasks:wmain " in line]

    def install_given(name, log, **properties):
        """Installs with properties; the status and the installer's log."""
        given = [f"{key}=Z:{path}" for key, path in properties.items()]
        status, _, _ = wine.run("msiexec", "/i", "Z:" + msi[name], "/qn", "/l*v", f"Z:{work}/{log}", *given)
        return status, text_of(f"{work}/{log}")

    def registrations():
        """How many SkarvelConfig products Windows lists (Add or Remove Programs)."""
        out = wine.run("reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s")[1]
        return len(re.findall(r"DisplayName\s+REG_SZ\s+SkarvelConfig\r?\n", out))

    def event_source():
        """Whether the event log's source is registered for the program (its message file, all three
        types): True or False, or None when it is not registered at all."""
        status, out, _ = wine.run(
            "reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\SkarvelConfig")
        if status != 0:
            return None
        values = out.replace("\\", "/")
        return bool(re.search(r"EventMessageFile\s+REG_EXPAND_SZ\s+[^\n]*/SkarvelConfig/SkarvelConfig\.exe", values)
                    and re.search(r"TypesSupported\s+REG_DWORD\s+0x7", values))

    program_files = wine.program_files()
    folder = wine.unix_path(program_files + "\\SkarvelConfig")
    # The task scheduler's own store, in the system's (not the 32-bit) folder.
    task = os.path.join(wine.unix_path("C:\\windows"), "system32", "tasks", "SkarvelConfig")
    shutil.rmtree(folder, ignore_errors=True)
    if os.path.exists(task):
        os.remove(task)
    at = lambda name: os.path.join(folder, name)

    # Given files it cannot use stop the installation before anything is
    # installed, the reason in its log.
    def given(name, text):
        with open(os.path.join(work, name), "w", newline="") as file:
            file.write(text)
        return os.path.join(work, name)
    refused = [
        ("a configuration with an unusable line", {"CONFIGFILE": given("bad.cfg", "Port1=RS485\r\nPort2=RS999\r\n")},
         "bad.cfg: it has 1 unusable line(s), each in this log; the first: " + line("rightHand", value="RS999", line=2)),
        ("a configuration it cannot read", {"CONFIGFILE": f"{work}/missing.cfg"}, "missing.cfg: it cannot be read: "),
        ("a library without the port functions",
         {"CONFIGFILE": given("good.cfg", "Port1=RS485\r\n"), "PORTLIBRARY": f"{work}/staging/SkarvelConfig.com"},
         "SkarvelConfig.com: it lacks the function LumtorPortEnum"),
    ]
    for what, properties, said in refused:
        status, log = install_given("first", "refused.log", **properties)
        check(f"refused, nothing installed: {what}", status == FAILED and said in log and not os.path.exists(folder)
              and registrations() == 0, (status, [text for text in log.splitlines() if "SkarvelConfig: " in text]))

    status, trace = install("first", "/i")
    if status != 0:
        check("the installer installs", False, status)
        return check.summary()
    for name in ("SkarvelConfig.exe", "SkarvelConfig.com", "SkarvelConfig.cfg", "SkarvelConfig.example.cfg",
                 "README.md"):
        check(f"installed: {name}", os.path.exists(at(name)))
    sections = subprocess.run([args.objdump, "-h", at("SkarvelConfig.exe")], capture_output=True, text=True).stdout
    check("the installed program is stripped", ".debug_info" not in sections)
    check("installed: one registration", registrations() == 1, registrations())
    check("installed: the event source is registered for the program", event_source() is True)

    # The start-up task: the definition the installer wrote and registered.
    definition = text_of(at("SkarvelConfig.task.xml"))
    command = f'<Command>"{program_files}\\SkarvelConfig\\SkarvelConfig.com"</Command></Exec></Actions></Task>'
    for wanted in ("<BootTrigger><Enabled>true</Enabled></BootTrigger>", "<UserId>S-1-5-18</UserId>",
                   "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
                   "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
                   "<StartWhenAvailable>true</StartWhenAvailable>", "<ExecutionTimeLimit>PT5M</ExecutionTimeLimit>",
                   command):
        check(f"the task definition holds {wanted}", wanted in definition, definition)
    check("the task was registered from its definition", any(CREATE_FROM_DEFINITION in line for line in trace), trace)
    registered = text_of(task)
    check("the registered task has the definition's settings",
          "<ExecutionTimeLimit>PT5M</ExecutionTimeLimit>" in registered, registered or "no task registered")

    # The installed program runs from its folder, beside the port library (the
    # stand-in here), with the installed configuration, which sets nothing.
    shutil.copy(args.library, at("LumtorPort.dll"))
    status = wine.run(program_files + "\\SkarvelConfig\\SkarvelConfig.exe")[0]
    log = text_of(at("SkarvelConfig.log")).splitlines()
    check("the installed program runs and writes its log",
          status == 0 and log[:1] == [f"SkarvelConfig {program_version}"] and without_mode(1) in log, (status, log))

    # The task's command ends with the run's outcome, its last result: 0
    # clean, 1 problems, 2 never started (an Error event says so).
    task_command = re.search(r'<Command>"([^"]+)"</Command>', definition).group(1)
    status = wine.run(task_command)[0]
    with open(at("SkarvelConfig.cfg"), "w", newline="") as edited:
        edited.write("Port9=RS232\r\n")
    problems, out, _ = wine.run(task_command)
    os.rename(at("LumtorPort.dll"), at("away.dll"))
    never, _, trace = wine.run(task_command, debug="-all,+eventlog")
    os.rename(at("away.dll"), at("LumtorPort.dll"))
    check("the task's command ends 0 for a clean run, 1 for problems, 2 for a program that cannot start",
          (status, problems, never) == (0, 1, 2) and not_found(9) in out, (status, problems, never, out))
    check("a program that cannot start is an Error event naming the library",
          re.search(r"err:eventlog:ReportEventW [^\n]*cannot be started: [^\n]*LumtorPort\.dll", trace), trace)

    # The next version replaces this one in place and keeps the administrator's
    # configuration and the task.
    with open(at("SkarvelConfig.cfg"), "w", newline="") as edited:
        edited.write("Port1=RS485\r\n")
    kept = digest(at("SkarvelConfig.cfg"))
    status, _ = install("next", "/i")
    check("an upgrade keeps the edited configuration", status == 0 and digest(at("SkarvelConfig.cfg")) == kept, status)
    check("an upgrade leaves the program and the task",
          all(os.path.exists(path) for path in (at("SkarvelConfig.exe"), task, at("SkarvelConfig.task.xml"))))
    check("upgraded: one registration", registrations() == 1, registrations())
    check("upgraded: the event source is registered for the program", event_source() is True)

    # An older version over a newer one stops and changes nothing; the same
    # version again is never registered twice.
    upgraded = digest(at("SkarvelConfig.exe"))
    status, _ = install("first", "/i")
    check("a downgrade is refused with 1603 and changes nothing",
          status == FAILED and digest(at("SkarvelConfig.exe")) == upgraded and os.path.exists(task), status)
    check("after a downgrade: one registration", registrations() == 1, registrations())
    install("next", "/i")
    check("after the same version again: one registration", registrations() == 1, registrations())

    # Uninstalling removes the program and the task, and keeps the configuration.
    status, _ = install("next", "/x")
    check("uninstalling removes the program",
          status == 0 and not any(os.path.exists(at(name)) for name in
                                  ("SkarvelConfig.exe", "README.md", "SkarvelConfig.task.xml")), status)
    check("uninstalling removes the task", not os.path.exists(task))
    check("uninstalling keeps the administrator's configuration", os.path.exists(at("SkarvelConfig.cfg")))
    check("uninstalled: no registration", registrations() == 0, registrations())
    check("uninstalled: the event source is gone", event_source() is None)
    shutil.rmtree(folder, ignore_errors=True)

    # One command deploys: the configuration and the library given are
    # installed as given, the checked copies gone from the temporary folder.
    library = shutil.copy(args.library, os.path.join(work, "maker.dll"))
    status, _ = install_given("first", "given.log", CONFIGFILE=f"{work}/good.cfg", PORTLIBRARY=library)
    temporary = wine.unix_path(wine.run("cmd", "/c", "echo %TEMP%")[1].strip())
    check("one command installs the given configuration and library",
          status == 0 and digest(at("SkarvelConfig.cfg")) == digest(f"{work}/good.cfg")
          and digest(at("LumtorPort.dll")) == digest(args.library)
          and not glob.glob(os.path.join(temporary, "SkarvelConfig-*")), status)
    # An upgrade with CONFIGFILE in the package's own properties, as a
    # transform sets it: the given configuration replaces the installed one;
    # the library, not given, stays.
    plant = given("plant.cfg", "Port2=RS232\r\n")
    subprocess.run([msibuild, msi["next"], "-q",
                    f"INSERT INTO Property (Property, Value) VALUES ('CONFIGFILE', 'Z:{plant}')"], check=True)
    status, _ = install("next", "/i")
    check("an upgrade with CONFIGFILE among its properties replaces the configuration, keeps the library",
          status == 0 and digest(at("SkarvelConfig.cfg")) == digest(plant)
          and digest(at("LumtorPort.dll")) == digest(args.library), status)
    status, _ = install("next", "/x")
    check("uninstalling keeps the given configuration and library",
          status == 0 and os.path.exists(at("SkarvelConfig.cfg")) and os.path.exists(at("LumtorPort.dll"))
          and registrations() == 0, status)
    shutil.rmtree(folder, ignore_errors=True)

    # Windows XP: the legacy command, without /F, after deleting any old task.
    wine.as_windows("winxp")
    version = wine.run("cmd", "/c", "ver")[1]
    check("Wine reports Windows XP", "5.1." in version, version)
    status, trace = install("first", "/i")
    creates = [index for index, line in enumerate(trace) if CREATE_XP.search(line)]
    check("as Windows XP: the old task deleted, then created with the legacy command",
          status == 0 and creates and any(DELETE in line for line in trace[:creates[0]]), (status, trace))
    check("as Windows XP: no task definition, the program installed",
          not os.path.exists(at("SkarvelConfig.task.xml")) and os.path.exists(at("SkarvelConfig.exe")))
    check("installed as Windows XP: one registration", registrations() == 1, registrations())
    status, trace = install("first", "/x")
    check("as Windows XP: uninstalling deletes the task", status == 0 and any(DELETE in line for line in trace),
          (status, trace))
    check("uninstalled as Windows XP: no registration", registrations() == 0, registrations())
    wine.as_windows(None)
    shutil.rmtree(folder, ignore_errors=True)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
