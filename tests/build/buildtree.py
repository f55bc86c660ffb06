"""Helpers for tests that configure and build the windows preset in trees of their own."""

import os
import pathlib
import shutil
import subprocess
import uuid

import olefile

ROOT = pathlib.Path(__file__).resolve().parents[2]
# Wine's programs (wine, wineserver, msiexec-stable, ...), wixl's (wixl, wixl-heat) and msitools'.
HIDDEN_PREFIXES = ("wine", "msiexec", "regedit", "regsvr32", "wixl")
MSITOOLS = {"msibuild", "msidiff", "msidump", "msiextract", "msiinfo"}
SUMMARY_STREAM = "\x05SummaryInformation"


def path_without_wine(folder):
    """A PATH of one folder that links every program on the current PATH except Wine's,
    wixl's and msitools', as on a release engineer's machine that has none of them."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for directory in os.environ["PATH"].split(os.pathsep):
        if not os.path.isdir(directory):
            continue
        for name in os.listdir(directory):
            link = folder / name
            if (name.startswith(HIDDEN_PREFIXES) or name in MSITOOLS
                    or os.path.lexists(link)):
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
    databases). olefile reads the class id of the root storage but writes none, so this
    writes it into the root's entry, the first of the directory's first sector, at byte 80."""
    with olefile.OleFileIO(str(path), write_mode=True) as ole:
        sector = bytearray(ole.getsect(ole.first_dir_sector))
        sector[80:96] = uuid.UUID(class_id).bytes_le
        ole.write_sect(ole.first_dir_sector, bytes(sector))


def hide_summary(path):
    """Renames the summary information streams, as in a package that has none. olefile
    renames no stream, so this changes the last letter of the names in the directory."""
    data = pathlib.Path(path).read_bytes()
    name, other = (text.encode("utf-16-le") for text in (SUMMARY_STREAM,
                                                          SUMMARY_STREAM[:-1] + "X"))
    assert name in data, f"{path} names no summary information stream"
    pathlib.Path(path).write_bytes(data.replace(name, other))


def spoil_summary(path):
    """Overwrites the summary information stream with bytes that hold no property set."""
    with olefile.OleFileIO(str(path), write_mode=True) as ole:
        ole.write_stream(SUMMARY_STREAM, b"\xff" * ole.get_size(SUMMARY_STREAM))
