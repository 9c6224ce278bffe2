#!/usr/bin/env python3
"""tools/apt-repository as an administrator runs it, with a throwaway key
and packages made here with dpkg-deb: which release each package goes to
(by the C library it needs), the signed index, the key and the source files
it writes, a key by fingerprint or by file, and what it refuses: a rebuilt
package under a published version, an architecture it does not serve, a
key it does not have. (apt itself on a booted system: tests/qemu/ansible_test.py.)

Usage: apt_repository_test.py --work DIR
"""
import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "apt-repository")
URL = "https://packages.example/skarvelconfig"


def package(work, version, architecture, libc, note=""):
    """A minimal skarvelconfig package; `note` changes its contents."""
    top = os.path.join(work, f"tree-{version}-{architecture}-{libc}-{len(note)}")
    os.makedirs(os.path.join(top, "DEBIAN"))
    os.makedirs(os.path.join(top, "usr/share/doc/skarvelconfig"))
    with open(os.path.join(top, "DEBIAN/control"), "w") as control:
        control.write(f"Package: skarvelconfig\nVersion: {version}\nArchitecture: {architecture}\nSection: admin\n"
                      f"Priority: optional\n"
                      f"Maintainer: Test <test@skarvelconfig.example>\nDepends: libc6 (>= {libc})\n"
                      f"Description: test package\n test package\n")
    with open(os.path.join(top, "usr/share/doc/skarvelconfig/note"), "w") as text:
        text.write(note + "\n")
    path = os.path.join(work, f"skarvelconfig_{version}_{architecture}-{libc}-{len(note)}.deb")
    subprocess.run(["dpkg-deb", "--root-owner-group", "--build", top, path], check=True, capture_output=True)
    return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    home = os.path.join(work, "gnupg")
    os.makedirs(home, mode=0o700)
    environment = dict(os.environ, GNUPGHOME=home)
    subprocess.run(["gpg", "--batch", "--passphrase", "", "--quick-gen-key", "Test <test@skarvelconfig.example>",
                    "default", "default", "never"], env=environment, check=True, capture_output=True)
    listing = subprocess.run(["gpg", "--batch", "--with-colons", "--list-secret-keys"], env=environment,
                             check=True, capture_output=True, text=True).stdout
    fingerprint = next(line.split(":")[9] for line in listing.splitlines() if line.startswith("fpr:"))
    secret = os.path.join(work, "secret.asc")
    with open(secret, "wb") as file:
        file.write(subprocess.run(["gpg", "--batch", "--armor", "--export-secret-keys"], env=environment,
                                  check=True, capture_output=True).stdout)
    check = Checks()

    def tool(key, repository, *packages, gnupg=home):
        run = subprocess.run([TOOL, "--key", key, "--url", URL, repository, *packages],
                             env=dict(os.environ, GNUPGHOME=gnupg), capture_output=True, text=True)
        return run.returncode, run.stdout + run.stderr

    def listed(repository, codename):
        return subprocess.run(["reprepro", "--basedir", repository + ".state", "--outdir", repository, "list",
                               codename], capture_output=True, text=True).stdout.splitlines()

    repository = os.path.join(work, "repository")
    debian12 = [package(work, "1.01", architecture, "2.36") for architecture in ("amd64", "arm64", "armhf")]
    status, output = tool(fingerprint, repository, *debian12)
    check("packages built on Debian 12 go to both releases, for each architecture",
          status == 0 and [listed(repository, codename) for codename in ("bookworm", "trixie")] ==
          [[f"{codename}|main|{architecture}: skarvelconfig 1.01" for architecture in ("amd64", "arm64", "armhf")]
           for codename in ("bookworm", "trixie")], output)

    verified = [subprocess.run(["gpgv", "--keyring", os.path.join(repository, "skarvelconfig.gpg"),
                                os.path.join(repository, "dists", codename, "InRelease")], capture_output=True)
                for codename in ("bookworm", "trixie")]
    release = open(os.path.join(repository, "dists/bookworm/Release")).read()
    check("each release's index is signed by the key written beside it, its origin SkarvelConfig",
          all(result.returncode == 0 for result in verified) and "Origin: SkarvelConfig\n" in release and
          os.path.exists(os.path.join(repository, "dists/bookworm/Release.gpg")), release[:300])
    sources = open(os.path.join(repository, "skarvelconfig-trixie.sources")).read()
    check("a deb822 source file per release names the URL and the key",
          sources == f"Types: deb\nURIs: {URL}\nSuites: trixie\nComponents: main\n"
                     "Signed-By: /etc/apt/keyrings/skarvelconfig.gpg\n", sources)
    check("the records reprepro keeps are beside the served folder, not in it",
          sorted(os.listdir(repository)) == ["dists", "pool", "skarvelconfig-bookworm.sources",
                                             "skarvelconfig-trixie.sources", "skarvelconfig.gpg"],
          os.listdir(repository))

    # The next version, built on Debian 13, signed with the key from a file
    # (no keyring of the caller's at all).
    empty = os.path.join(work, "empty-gnupg")
    os.makedirs(empty, mode=0o700)
    status, output = tool(secret, repository, package(work, "1.02", "amd64", "2.38"), gnupg=empty)
    check("a package needing Debian 13's C library goes to trixie only, and the command says so",
          status == 0 and "not for Debian 12" in output and
          "trixie|main|amd64: skarvelconfig 1.02" in listed(repository, "trixie") and
          "bookworm|main|amd64: skarvelconfig 1.01" in listed(repository, "bookworm"), output)

    for what, key, packages, said in (
            ("a rebuilt package under a version already published",
             fingerprint, [package(work, "1.01", "amd64", "2.36", note="rebuilt")], "if they are the same"),
            ("a package for an architecture the repository does not serve",
             fingerprint, [package(work, "1.03", "i386", "2.36")], "i386"),
            ("a key that is not in the keyring", "0123456789ABCDEF0123456789ABCDEF01234567",
             [package(work, "1.03", "amd64", "2.36")], "no secret key")):
        before = [listed(repository, codename) for codename in ("bookworm", "trixie")]
        status, output = tool(key, repository, *packages)
        check(f"refused: {what}, saying why; the repository keeps what it had",
              status != 0 and said in output and
              [listed(repository, codename) for codename in ("bookworm", "trixie")] == before, output)

    subprocess.run(["gpgconf", "--kill", "all"], env=environment)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
