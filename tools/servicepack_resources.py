#!/usr/bin/env python3
"""Checks the inputs of one service pack and writes the resource script that embeds them.

A service pack is made of a Windows Installer patch package, the version it brings
products to (string 700), the versions it is made for (string 900) and the
deployment notes (206.txt, 207.txt, ...). A mistake in any of them would ship an
installer that silently does nothing, so the build stops here with a message that
names the input and what is wrong with it.
"""

import argparse
import pathlib
import re
import subprocess
import sys

COMPOUND_FILE_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
FIRST_NOTE_ID = 206
VERSION = re.compile(r"^(\d+)\.(\d+)\.(\d+)\.(\d+)$")
NOTE_LINE = re.compile(r"^[^\s=]+=([^\s][^\r\n]*)?$")
CATALOGUE_ENTRY = re.compile(r'^\s*(\d+)\s+"((?:[^"]|"")*)"\s*$', re.M)
CONVERSION = re.compile(r"%.")
HELP_IDS = range(316, 320)  # shown as they stand, joined by line feeds
CATALOGUE_CAPACITY = 255  # characters of an entry the program reads


class InputError(Exception):
    pass


def check_version(what, text):
    match = VERSION.match(text)
    if not match or any(int(field) > 65535 for field in match.groups()):
        raise InputError(
            f"{what} {text!r} is not a version of four dotted numbers from 0 to 65535")


def check_candidates(text, upgrade):
    if not text.endswith(","):
        raise InputError(
            f"candidate versions {text!r} must end with ',' (a version without its comma is never read)")
    candidates = text[:-1].split(",")
    for candidate in candidates:
        check_version("candidate version", candidate)
    warnings = []
    if upgrade in candidates:
        warnings.append(
            f"the upgrade version {upgrade} stands among the candidate versions: "
            "products reaching it before their own version stop the run")
    return warnings


def read_target_codes(package):
    """Summary property 7 of the package, as msitools reads it."""
    try:
        out = subprocess.run(["msiinfo", "suminfo", str(package)], check=True,
                             capture_output=True, text=True).stdout
    except FileNotFoundError:
        raise InputError("msiinfo (msitools) is needed to read the package's target products")
    except subprocess.CalledProcessError as error:
        raise InputError(f"patch package {package} cannot be read: {error.stderr.strip()}")
    for line in out.splitlines():
        if line.startswith("Template:"):
            return line[len("Template:"):].strip()
    return ""


def check_package(package):
    path = pathlib.Path(package)
    if not path.is_file():
        raise InputError(f"patch package {package} does not exist")
    with path.open("rb") as f:
        if f.read(8) != COMPOUND_FILE_SIGNATURE:
            raise InputError(
                f"patch package {package} is not a Windows Installer package "
                "(it does not start with D0 CF 11 E0 A1 B1 1A E1)")
    codes = read_target_codes(path)
    if not codes or not codes.split(";")[0]:
        raise InputError(
            f"patch package {package} names no target product in summary property 7")
    return codes


def check_note(path):
    data = path.read_bytes()
    if not data:
        raise InputError(f"note {path} is empty")
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError:
        raise InputError(f"note {path} is not ASCII text")
    if text.endswith("\r\n") or text.endswith("\n"):
        raise InputError(f"note {path} ends with a line break (its record adds one)")
    for number, line in enumerate(text.split("\r\n"), 1):
        if not NOTE_LINE.match(line):
            raise InputError(
                f"note {path} line {number} {line!r} is not key=value "
                "(no blanks around '=', lines separated by CR LF)")


def collect_notes(notes_dir):
    if not notes_dir:
        return []
    folder = pathlib.Path(notes_dir)
    if not folder.is_dir():
        raise InputError(f"notes folder {notes_dir} does not exist")
    ids = []
    for path in folder.glob("*.txt"):
        if not path.stem.isdigit():
            raise InputError(f"note {path} is not named by its id (206.txt, 207.txt, ...)")
        ids.append(int(path.stem))
    ids.sort()
    expected = list(range(FIRST_NOTE_ID, FIRST_NOTE_ID + len(ids)))
    if ids != expected:
        raise InputError(
            f"notes in {notes_dir} must be numbered from {FIRST_NOTE_ID} without a gap, "
            f"found {', '.join(map(str, ids))}")
    notes = [folder / f"{i}.txt" for i in ids]
    for note in notes:
        check_note(note)
    return notes


def catalogue_entries(path):
    """{id: text} of one language's string table, escapes resolved."""
    escapes = {"n": "\n", "t": "\t", "\\": "\\"}
    entries = {}
    for number, text in CATALOGUE_ENTRY.findall(path.read_text(encoding="utf-8")):
        text = text.replace('""', '"')
        entries[int(number)] = re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)),
                                      text)
    return entries


def check_catalogue(catalogue_dir):
    """Every language has the English ids with the same line feeds and "%" conversions,
    and the help texts hold no conversion and fit the program's buffer."""
    tables = {path.name: catalogue_entries(path)
              for path in sorted(pathlib.Path(catalogue_dir).glob("*.rc"))}
    english = next((table for name, table in tables.items() if name.startswith("1033-")), None)
    if english is None:
        raise InputError(f"catalogue {catalogue_dir} has no English (1033-*.rc) string table")
    for name, table in tables.items():
        for id in HELP_IDS:
            text = table.get(id, "")
            if not text:
                raise InputError(f"catalogue {name} lacks help string {id}")
            if "%" in text:
                raise InputError(f"catalogue {name} help string {id} holds a '%'")
            if len(text) > CATALOGUE_CAPACITY:
                raise InputError(f"catalogue {name} help string {id} has {len(text)} characters, "
                                 f"more than the {CATALOGUE_CAPACITY} the program reads")
        for id, reference in english.items():
            text = table.get(id)
            if text is None:
                raise InputError(f"catalogue {name} lacks string {id}")
            feeds, expected = text.count("\n"), reference.count("\n")
            if feeds != expected:
                raise InputError(f"catalogue {name} string {id} has {feeds} line feeds, "
                                 f"the English text {expected}")
            conversions, expected = CONVERSION.findall(text), CONVERSION.findall(reference)
            if conversions != expected:
                raise InputError(f"catalogue {name} string {id} has the conversions "
                                 f"{conversions}, the English text {expected}")


def check_inputs(package, upgrade, candidates, notes_dir):
    """Returns (notes, warnings) or raises InputError."""
    check_version("upgrade version", upgrade)
    warnings = check_candidates(candidates, upgrade)
    notes = collect_notes(notes_dir)
    check_package(package)
    return notes, warnings


def rc_path(path):
    return '"' + str(pathlib.Path(path).resolve()).replace("\\", "/") + '"'


def resource_script(package, upgrade, candidates, notes, manifest, catalogue_dir):
    lines = [
        "// Written by the build from the service pack's inputs; edit those instead.",
        "LANGUAGE 0x09, 0x01",
        f"1 24 {rc_path(manifest)}",
        f"IDR_MSP_TB MSP {rc_path(package)}",
    ]
    for note in notes:
        lines.append(f"{note.stem} TXT {rc_path(note)}")
    lines += ["STRINGTABLE", "BEGIN", f'  700 "{upgrade}"', f'  900 "{candidates}"', "END", ""]
    for catalogue in sorted(pathlib.Path(catalogue_dir).glob("*.rc")):
        lines.append(catalogue.read_text(encoding="utf-8"))
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--package", required=True)
    parser.add_argument("--upgrade-version", required=True)
    parser.add_argument("--candidate-versions", required=True)
    parser.add_argument("--notes-dir", default="")
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args(argv)
    try:
        notes, warnings = check_inputs(args.package, args.upgrade_version,
                                       args.candidate_versions, args.notes_dir)
        check_catalogue(args.catalogue)
    except InputError as error:
        print(f"service pack input error: {error}", file=sys.stderr)
        return 1
    for warning in warnings:
        print(f"service pack input warning: {warning}", file=sys.stderr)
    script = resource_script(args.package, args.upgrade_version, args.candidate_versions,
                             notes, args.manifest, args.catalogue)
    pathlib.Path(args.output).write_text(script, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
