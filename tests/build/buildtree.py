"""Helpers for tests that configure and build the windows preset in trees of their own."""

import os
import pathlib
import shutil
import subprocess
import uuid

ROOT = pathlib.Path(__file__).resolve().parents[2]
HIDDEN_PROGRAMS = ("wine", "wixl")  # wine, wineserver, wixl, wixl-heat, ...


def path_without_wine(folder):
    """A PATH of one folder that links every program on the current PATH except Wine's and
    wixl, as on a release engineer's machine that has neither."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for directory in os.environ["PATH"].split(os.pathsep):
        if not os.path.isdir(directory):
            continue
        for name in os.listdir(directory):
            link = folder / name
            if name.startswith(HIDDEN_PROGRAMS) or os.path.lexists(link):
                continue
            link.symlink_to(os.path.join(directory, name))
    return str(folder)


def copy_source(destination):
    """The source tree at another path, as another checkout would put it."""
    shutil.copytree(ROOT, destination, symlinks=True,
                    ignore=lambda directory, names: [n for n in names if n in (
                        ".git", "build", "out", "__pycache__")])
    return pathlib.Path(destination)


def run(command, cwd=ROOT, env=None):
    """(exit code, stdout and stderr together, blanks and line breaks as single spaces)."""
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    return result.returncode, " ".join(result.stdout.split())


def make_certificate_authority(folder, name):
    """A throw-away CA and a code-signing certificate it issued: (ca.pem, cert.pem, key.pem)."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    ca_key, ca, key, request, cert = (folder / f"{name}-{part}" for part in (
        "ca.key", "ca.pem", "signer.key", "signer.csr", "signer.pem"))
    extensions = folder / f"{name}-signer.ext"
    extensions.write_text("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                          "extendedKeyUsage=codeSigning\n")
    for command in (
            ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
             "-days", "2", "-subj", f"/CN={name} throw-away CA",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
            ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
             "-subj", f"/CN={name} throw-away signer"],
            ["x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
             "-out", cert, "-days", "2", "-extfile", extensions]):
        subprocess.run(["openssl"] + [str(part) for part in command], check=True,
                       capture_output=True)
    return ca, cert, key


def set_root_class_id(path, class_id):
    """Marks a compound file as another kind of package (msibuild makes only installer
    databases): the class id of the root storage, the first entry of the directory."""
    data = bytearray(pathlib.Path(path).read_bytes())
    shift = int.from_bytes(data[30:32], "little")
    root = (int.from_bytes(data[48:52], "little") + 1) << shift
    data[root + 80:root + 96] = uuid.UUID(class_id).bytes_le
    pathlib.Path(path).write_bytes(bytes(data))
