#!/usr/bin/env python3
"""Makes the service pack file from the linked image: signs it with Authenticode when the
build is told to, verifies the signature, and only then gives the file its final name, so
that a build that fails leaves no executable behind. Prints the file's size and SHA-256
and the patch code of the package it carries.

Signing goes through osslsigncode, with a certificate and key in PEM files or a PKCS#12
file, or through a command of the release engineer's (a hardware token, a signing
service) that is given the unsigned and the signed file's paths. SOURCE_DATE_EPOCH, when
set, is the signing time, so that the same inputs sign to the same bytes. The signing
options arrive checked (add_service_pack() in cmake/ServicePack.cmake): this script signs
in the one way it is given.
"""

import argparse
import hashlib
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

import pefile

import servicepack_resources


class Failure(Exception):
    pass


def run(command, what):
    try:
        result = subprocess.run(command, capture_output=True, text=True)
    except OSError as error:
        raise Failure(f"{what} could not start: {error}")
    if result.returncode != 0:
        raise Failure(f"{what} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result.stdout


def signing_time():
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch and not epoch.isdigit():
        raise Failure(f"SOURCE_DATE_EPOCH {epoch!r} is not a number of seconds")
    return epoch


def sign_with_osslsigncode(args, image, signed):
    command = [args.osslsigncode, "sign", "-h", "sha256"]
    if args.sign_cert:
        command += ["-certs", args.sign_cert, "-key", args.sign_key]
    else:
        command += ["-pkcs12", args.sign_pkcs12, "-readpass", args.sign_password_file]
    if args.sign_timestamp_url:
        command += ["-ts", args.sign_timestamp_url]
    if signing_time():
        command += ["-time", signing_time()]
    run(command + ["-in", str(image), "-out", str(signed)], "osslsigncode sign")


def sign_with_command(args, image, signed):
    run(shlex.split(args.sign_command) + [str(image), str(signed)],
        f"the signing command {args.sign_command!r}")


def unsigned_fields(data):
    """Where an Authenticode signature may change a PE image: its checksum and the entry of
    its certificate table, as (offset, size)."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError as error:
        raise Failure(f"the linked image is no PE image: {error.value}")
    header = pe.OPTIONAL_HEADER
    security = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    return [(header.get_field_absolute_offset("CheckSum"), 4),
            (security.get_file_offset(), security.sizeof())]


def read_patch_code(package):
    """The patch code of the package (its summary property 9), which the build checked."""
    try:
        return servicepack_resources.patch_code(servicepack_resources.read_summary(package))
    except (OSError, servicepack_resources.SummaryError) as error:
        raise Failure(f"the package {package} cannot be read: {error}")


def check_signed_image(image, signed):
    """The signature may add to the image, never change it."""
    before, after = image.read_bytes(), bytearray(signed.read_bytes())
    if len(after) <= len(before) or after[:2] != b"MZ":
        raise Failure(f"{signed.name} is no signed copy of {image}")
    for offset, size in unsigned_fields(before):
        after[offset:offset + size] = before[offset:offset + size]
    if after[:len(before)] != before:
        raise Failure(f"signing changed {image.name} beyond its checksum and signature")


def verify(args, signed):
    command = [args.osslsigncode, "verify", "-in", str(signed)]
    if args.sign_ca:
        command += ["-CAfile", args.sign_ca]
    run(command, "verifying the signature")


def finish(args, image, output, partial):
    if args.sign_cert or args.sign_pkcs12 or args.sign_command:
        if args.sign_command:
            sign_with_command(args, image, partial)
        else:
            sign_with_osslsigncode(args, image, partial)
        if not partial.is_file():
            raise Failure(f"signing wrote no {partial}")
        check_signed_image(image, partial)
        verify(args, partial)
    else:
        shutil.copyfile(image, partial)
    shutil.copymode(image, partial)
    os.replace(partial, output)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--image", required=True, type=pathlib.Path, help="the linked executable")
    parser.add_argument("--output", required=True, type=pathlib.Path)
    parser.add_argument("--package", required=True, help="the patch package the image carries")
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--sign-cert", default="")
    parser.add_argument("--sign-key", default="")
    parser.add_argument("--sign-pkcs12", default="")
    parser.add_argument("--sign-password-file", default="")
    parser.add_argument("--sign-timestamp-url", default="")
    parser.add_argument("--sign-command", default="")
    parser.add_argument("--sign-ca", default="")
    args = parser.parse_args(argv)

    output = args.output
    partial = output.with_name(output.name + ".partial")
    output.unlink(missing_ok=True)
    partial.unlink(missing_ok=True)
    try:
        patch_code = read_patch_code(args.package)
        finish(args, args.image, output, partial)
    except Failure as failure:
        partial.unlink(missing_ok=True)
        print(f"{output.name}: {failure}", file=sys.stderr)
        return 1
    digest = hashlib.sha256()
    with output.open("rb") as f:
        while chunk := f.read(1 << 20):
            digest.update(chunk)
    print(f"-- {output.name}: SHA-256 {digest.hexdigest()}")
    print(f"-- {output.name}: {output.stat().st_size} bytes")
    print(f"-- {output.name}: patch code {patch_code}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
