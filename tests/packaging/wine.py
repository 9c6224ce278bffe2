"""What the Windows packaging tests share: Windows programs run under Wine,
and where the 32-bit installer puts the program, as Wine and this machine
see it."""
import os
import subprocess


class Wine:
    def __init__(self, emulator):
        # CMake's emulator list: the wrapper, then Wine's loader.
        self.command = emulator.split(";")
        self.plain = {name: value for name, value in os.environ.items() if not name.startswith("SKARVEL_")}

    def run(self, *command, debug="-all", cwd=None):
        """A Windows program's status, standard output and Wine's trace (standard error)."""
        result = subprocess.run([*self.command, *command], capture_output=True, text=True, errors="replace",
                                env=dict(self.plain, WINEDEBUG=debug), cwd=cwd)
        return result.returncode, result.stdout, result.stderr

    def unix_path(self, windows_path):
        return subprocess.run([*self.command, "winepath.exe", "-u", windows_path], capture_output=True,
                              text=True).stdout.strip()

    def program_files(self):
        """Program Files, as Windows names it."""
        return self.run("cmd", "/c", "echo %ProgramFiles%")[1].strip()

    def as_windows(self, version):
        """Wine reports the Windows `version` ("winxp"), or its own default when None."""
        if version:
            self.run("reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f")
        else:
            self.run("reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f")
