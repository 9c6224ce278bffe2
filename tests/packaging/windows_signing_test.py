#!/usr/bin/env python3
"""The Windows package target with and without a signing certificate, as a
release manager runs it (cpack in the build folder), with a throwaway CA,
code-signing certificate and timestamp service made here (openssl; the
service answers over the loopback): unsigned with one line saying so; a
wrong password, an unreachable timestamp service or a token without its
certificate fails and leaves no package; signed (PKCS#12, and a PKCS#11
token where SoftHSM is installed), the ZIP's programs and the installer
verified by osslsigncode, SHA-256 and timestamped; the signed installer
installed under Wine, as a later Windows and as Windows XP, its installed
files still signed and the program running.

Usage: windows_signing_test.py --cpack CPACK --build DIR --wine "WINE;LOADER" --library LumtorPort.dll
                               --version V --work DIR
"""
import argparse
import glob
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import zipfile

from wine import Wine

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402

SOFTHSM_MODULES = ["/usr/lib/softhsm/libsofthsm2.so", *glob.glob("/usr/lib/*/softhsm/libsofthsm2.so")]
PASSWORD = "throwaway password"


def openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, capture_output=True)


def make_certificates(work):
    """A CA, a code-signing certificate in a PKCS#12 file, and a
    timestamping certificate, as a commercial CA would issue them."""
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=SkarvelConfig throwaway test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=work)
    for name, usage in (("signer", "codeSigning"), ("tsa", "critical,timeStamping")):
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
                "-subj", f"/CN=SkarvelConfig throwaway {name}", cwd=work)
        with open(os.path.join(work, f"{name}.ext"), "w") as extensions:
            extensions.write(f"basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                             f"extendedKeyUsage={usage}\n")
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", f"{name}.pem", "-days", "2", "-extfile", f"{name}.ext", cwd=work)
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
            "-out", "signer.p12", "-passout", f"pass:{PASSWORD}", cwd=work)
    with open(os.path.join(work, "tsa.cnf"), "w") as config:
        config.write(f"""[tsa]
default_tsa = tsa_config
[tsa_config]
serial = {work}/tsa.serial
signer_cert = {work}/tsa.pem
certs = {work}/ca.pem
signer_key = {work}/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
accuracy = secs:1
""")
    with open(os.path.join(work, "tsa.serial"), "w") as serial:
        serial.write("01\n")


def timestamp_service(work):
    """An RFC 3161 service over HTTP on the loopback, its answers made by
    openssl ts; returns the server and counts the stamps it gave."""
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        stamps = 0

        def do_POST(self):
            query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            with lock, tempfile.TemporaryDirectory(dir=work) as scratch:
                with open(os.path.join(scratch, "query"), "wb") as file:
                    file.write(query)
                made = subprocess.run(["openssl", "ts", "-reply", "-config", os.path.join(work, "tsa.cnf"),
                                       "-queryfile", os.path.join(scratch, "query"),
                                       "-out", os.path.join(scratch, "reply")], capture_output=True)
                reply = open(os.path.join(scratch, "reply"), "rb").read() if made.returncode == 0 else b""
            if not reply:
                self.send_error(500)
                return
            Handler.stamps += 1
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *arguments):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, Handler


def softhsm_token(work):
    """The signing key on a SoftHSM token, or None where SoftHSM or the
    PKCS#11 engine is missing."""
    module = next((path for path in SOFTHSM_MODULES if os.path.exists(path)), None)
    if not module or not shutil.which("softhsm2-util"):
        return None
    tokens = os.path.join(work, "tokens")
    os.makedirs(tokens)
    config = os.path.join(work, "softhsm2.conf")
    with open(config, "w") as text:
        text.write(f"directories.tokendir = {tokens}\nobjectstore.backend = file\n")
    environment = dict(os.environ, SOFTHSM2_CONF=config)
    openssl("pkcs8", "-topk8", "-nocrypt", "-in", "signer.key", "-out", "signer.pk8", cwd=work)
    for command in (["--init-token", "--free", "--label", "skarvel", "--pin", "4321", "--so-pin", "87654321"],
                    ["--import", "signer.pk8", "--token", "skarvel", "--label", "signer", "--id", "01",
                     "--pin", "4321"]):
        subprocess.run(["softhsm2-util", *command], cwd=work, env=environment, check=True, capture_output=True)
    with open(os.path.join(work, "chain.pem"), "w") as chain:
        for name in ("signer.pem", "ca.pem"):
            chain.write(open(os.path.join(work, name)).read())
    return {"SOFTHSM2_CONF": config, "SKARVEL_SIGN_PKCS11_MODULE": module,
            "SKARVEL_SIGN_PKCS11_KEY": "pkcs11:token=skarvel;object=signer;type=private",
            "SKARVEL_SIGN_CERTIFICATE": os.path.join(work, "chain.pem"), "SKARVEL_SIGN_PASSWORD": "4321"}


def main():
    parser = argparse.ArgumentParser()
    for option in ("--cpack", "--build", "--wine", "--library", "--version", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    make_certificates(work)
    server, service = timestamp_service(work)
    check = Checks()
    wine = Wine(args.wine)
    version = args.version
    msi_name = f"SkarvelConfig-{version}-win32.msi"
    zip_name = f"SkarvelConfig-{version}-win32.zip"
    plain = {name: value for name, value in os.environ.items() if not name.startswith("SKARVEL_")}

    def package(name, settings):
        output = os.path.join(work, name)
        made = subprocess.run([args.cpack, "-B", output], cwd=args.build, env=dict(plain, **settings),
                              capture_output=True, text=True)
        return made.returncode, made.stdout + made.stderr, output

    def verify(path):
        """osslsigncode's verdict on one file: signed by the throwaway
        certificate, with SHA-256, and whether a timestamp vouches for it."""
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(work, "ca.pem"),
                                 "-TSA-CAfile", os.path.join(work, "ca.pem"), "-in", path],
                                capture_output=True, text=True)
        text = result.stdout + result.stderr
        return (result.returncode == 0 and "Signature verification: ok" in text and
                re.search(r"Message digest algorithm\s*: SHA256", text) is not None), "Timestamp is not available" not in text, text

    def unzip(archive, into):
        with zipfile.ZipFile(archive) as package_file:
            package_file.extractall(into)
        return [os.path.join(into, name) for name in ("SkarvelConfig.exe", "SkarvelConfig.com")]

    # Without a certificate: made as before, unsigned, and said once.
    status, output, folder = package("unsigned", {})
    said = [line for line in output.splitlines() if "not signed" in line]
    check("without a certificate the package is made, and one line says it is not signed",
          status == 0 and len(said) == 1 and "no signing certificate given" in said[0], output)
    files = unzip(os.path.join(folder, zip_name), os.path.join(folder, "zip")) if status == 0 else []
    check("and nothing in it carries a signature",
          status == 0 and not any(verify(path)[0] for path in files + [os.path.join(folder, msi_name)]))

    # A certificate given but unusable stops the package: nothing unsigned goes out.
    p12 = os.path.join(work, "signer.p12")
    for index, (what, settings) in enumerate((
            ("a wrong password", {"SKARVEL_SIGN_PKCS12": p12, "SKARVEL_SIGN_PASSWORD": "not the password"}),
            ("an unreachable timestamp service", {"SKARVEL_SIGN_PKCS12": p12, "SKARVEL_SIGN_PASSWORD": PASSWORD,
                                                  "SKARVEL_TIMESTAMP_URL": "http://127.0.0.1:9/"}),
            ("a token without its certificate", {"SKARVEL_SIGN_PKCS11_MODULE": "/nonexistent/module.so",
                                                  "SKARVEL_SIGN_PKCS11_KEY": "pkcs11:object=signer"}))):
        status, output, folder = package(f"refused-{index}", settings)
        check(f"{what} fails the package target, saying why, and leaves no package",
              status != 0 and ("could not be signed" in output or "needs" in output) and
              not any(os.path.exists(os.path.join(folder, name)) for name in (zip_name, msi_name)), output[-2000:])

    # Signed, with a timestamp: the ZIP's programs and the installer.
    url = f"http://127.0.0.1:{server.server_address[1]}/"
    settings = {"SKARVEL_SIGN_PKCS12": os.path.join(work, "signer.p12"), "SKARVEL_SIGN_PASSWORD": PASSWORD,
                "SKARVEL_TIMESTAMP_URL": url}
    status, output, folder = package("signed", settings)
    check("with a PKCS#12 file the package target succeeds, saying what it signed",
          status == 0 and "SkarvelConfig.exe and SkarvelConfig.com signed" in output and
          f"{msi_name}: made and signed" in output, output[-3000:])
    files = unzip(os.path.join(folder, zip_name), os.path.join(folder, "zip")) if status == 0 else []
    msi = os.path.join(folder, msi_name)
    for path in files + [msi]:
        ok, stamped, text = verify(path) if os.path.exists(path) else (False, False, "missing")
        check(f"{os.path.basename(path)}: signed by the certificate with SHA-256, and timestamped",
              ok and stamped, text[-1500:])
    check("each of the three was stamped by the timestamp service", service.stamps >= 3, service.stamps)
    server.shutdown()

    token = softhsm_token(work)
    if token:
        status, output, token_folder = package("token", token)
        path = os.path.join(token_folder, msi_name)
        ok = status == 0 and verify(path)[0]
        check("with the key on a PKCS#11 token the installer is signed too", ok, output[-2000:])
    else:
        print("skipped: the PKCS#11 token (needs softhsm2 and libengine-pkcs11-openssl)")

    # The signed installer under Wine: the files it installs keep their
    # signatures, and the program runs, as a later Windows and as XP.
    run = wine.run
    program_files = wine.program_files()
    installed = wine.unix_path(program_files + "\\SkarvelConfig")
    for windows in ("", "winxp"):
        label = "as Windows XP" if windows else "as a later Windows"
        if windows:
            wine.as_windows(windows)
        shutil.rmtree(installed, ignore_errors=True)
        status = run("msiexec", "/i", "Z:" + msi, "/qn")[0]
        check(f"{label}: the signed installer installs", status == 0, status)
        for name in ("SkarvelConfig.exe", "SkarvelConfig.com"):
            path = os.path.join(installed, name)
            ok = os.path.exists(path) and verify(path)[0]
            check(f"{label}: the installed {name} carries its signature", ok)
        # Beside the port library it needs (the stand-in here).
        if os.path.isdir(installed):
            shutil.copy(args.library, os.path.join(installed, "LumtorPort.dll"))
        status = run(program_files + "\\SkarvelConfig\\SkarvelConfig.exe")[0]
        log = os.path.join(installed, "SkarvelConfig.log")
        banner = open(log, errors="replace").readline() if os.path.exists(log) else ""
        check(f"{label}: the signed program runs and writes its log",
              status == 0 and banner.startswith(f"SkarvelConfig {version}"), (status, banner))
        check(f"{label}: the signed installer uninstalls", run("msiexec", "/x", "Z:" + msi, "/qn")[0] == 0)
        if windows:
            wine.as_windows(None)
    shutil.rmtree(installed, ignore_errors=True)

    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
