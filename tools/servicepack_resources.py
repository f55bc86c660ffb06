#!/usr/bin/env python3
"""Checks the inputs of one service pack and writes the resource script that embeds them.

A service pack is made of a Windows Installer patch package, the version it brings
products to (string 700), the versions it is made for (string 900), the deployment
notes (206.txt, 207.txt, ...) and the maker's name that message 307 shows. A mistake
in any of them would ship an installer that silently does nothing, so the build stops
here with a message that names the input, its value and the rule it breaks.
"""

import argparse
import pathlib
import re
import sys
import unicodedata

import olefile

COMPOUND_FILE_HEADER = 512  # bytes of the header a compound file begins with
SUMMARY_STREAM = "\x05SummaryInformation"
CODE_PAGE, TARGETS, LAST_AUTHOR, REVISION = 1, 7, 8, 9  # summary property ids
PATCH_CLASS_ID = "{000C1086-0000-0000-C000-000000000046}"
OTHER_CLASS_IDS = {
    "{000C1084-0000-0000-C000-000000000046}": "an installer database (.msi)",
    "{000C1082-0000-0000-C000-000000000046}": "a transform (.mst)",
}
# The whole executable is mapped into a 32-bit address space next to the runtime's own
# allocations: a 2.02 GiB image does not start, 1.83 GiB still does.
MAX_PACKAGE_MIB = 1800
FIRST_NOTE_ID = 206
VERSION = re.compile(r"^(\d+)\.(\d+)\.(\d+)\.(\d+)$")
CANDIDATE_TEXT = re.compile(r"^[0-9.,]*$")
PRODUCT_CODE = r"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}"
TARGET_CODES = re.compile(rf"^{PRODUCT_CODE}(;{PRODUCT_CODE})*$")
# Property 9 of a patch: its own code, then those of the patches it obsoletes, undelimited.
PATCH_CODES = re.compile(rf"^({PRODUCT_CODE})+$")
NOTE_LINE = re.compile(r"^[^\s=]+=([^\s][^\r\n]*)?$")
CATALOGUE_ENTRY = re.compile(r'^\s*(\d+)\s+"((?:[^"]|"")*)"\s*$', re.M)
CONVERSION = re.compile(r"%.")
HELP_IDS = range(316, 320)  # shown as they stand, joined by line feeds
APPLICATIONS_TO_CLOSE = 302
MAKER_MESSAGE = 307
MAKER_IN_CATALOGUE = "Corvane"
MESSAGE_ROOM = 255  # characters of an entry that the 256-character buffer holds
RC_STRING = re.compile(r'^(\s*(\d+)\s+")(.*)("\s*)$', re.M)

# How messages name each input; CMake passes its cache variables' names instead.
DEFAULT_NAMES = {"package": "package", "upgrade": "upgrade version",
                 "candidates": "candidate versions", "notes": "notes folder",
                 "maker": "maker name"}


class InputError(Exception):
    pass


class SummaryError(Exception):
    """The summary information stream is missing or cannot be read."""


def summary_properties(ole):
    """{property id: value} of the summary information stream of an open compound file,
    strings decoded with the stream's code page. The compound file may carry defects that
    olefile tolerates (Windows Installer does too); the summary must read without one."""
    if not ole.exists(SUMMARY_STREAM):
        raise SummaryError("has no summary information stream (SummaryInformation), "
                           "where a patch package names its target products and patch code")
    known = len(ole.parsing_issues)
    try:
        properties = ole.getproperties(SUMMARY_STREAM)
    except OSError as error:
        properties, issue = {}, str(error)
    else:
        issue = "; ".join(message for _, message in ole.parsing_issues[known:])
    if issue or not properties:
        raise SummaryError("has a summary information stream that cannot be read "
                           f"({issue or 'it holds no property'})")
    code_page = properties.get(CODE_PAGE)
    codec = "latin-1"
    if isinstance(code_page, int):
        code_page &= 0xFFFF  # a VT_I2, which olefile reads signed: 65001 comes as -535
        codec = "utf-8" if code_page == 65001 else f"cp{code_page}"
    try:
        "".encode(codec)
    except LookupError:
        codec = "latin-1"
    return {id: value.decode(codec, "replace") if isinstance(value, bytes) else value
            for id, value in properties.items()}


def read_summary(path):
    """The summary properties of the package at path; raises OSError or SummaryError."""
    with olefile.OleFileIO(str(path)) as ole:
        return summary_properties(ole)


def text_property(summary, id):
    value = summary.get(id)
    return "" if value is None else str(value)


def patch_code(summary):
    """The patch's own code: the first of the codes in its summary property 9."""
    match = PATCH_CODES.match(text_property(summary, REVISION))
    if not match:
        raise SummaryError(f"has no patch code: its summary property 9 is "
                           f"{text_property(summary, REVISION)!r}, not the patch's code "
                           "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} followed by the codes of "
                           "the patches it obsoletes, if any")
    return text_property(summary, REVISION)[:38]


class Inputs:
    def __init__(self, package, upgrade, candidates, notes_dir, maker="Corvane",
                 catalogue_dir=None, names=None):
        self.package = str(package)
        self.upgrade = upgrade
        self.candidates = candidates
        self.notes_dir = notes_dir
        self.maker = maker
        self.catalogue_dir = catalogue_dir
        self.names = dict(DEFAULT_NAMES, **(names or {}))
        self.warnings = []

    def refuse(self, input, rule, value=None):
        if value is None:
            value = {"package": self.package, "upgrade": self.upgrade,
                     "candidates": self.candidates, "notes": self.notes_dir,
                     "maker": self.maker}[input]
        raise InputError(f"{self.names[input]} {value!r} {rule}")

    def warn(self, input, text):
        self.warnings.append(f"{self.names[input]}: {text}")

    # --- versions

    def check_version(self, input, text, in_list=False):
        match = VERSION.match(text)
        if not match or any(int(field) > 65535 for field in match.groups()):
            rule = "is not a version of four dotted numbers from 0 to 65535"
            self.refuse(input, f"holds {text!r}, which {rule}" if in_list else rule)
        return version_value(text)

    def check_candidates(self):
        text = self.candidates
        if not CANDIDATE_TEXT.match(text):
            self.refuse("candidates", "may hold only digits, dots and commas")
        if not text.endswith(","):
            self.refuse("candidates",
                        "must end with ',' (a version without its comma is never read)")
        versions = [self.check_version("candidates", candidate, in_list=True)
                    for candidate in text[:-1].split(",")]
        if self.check_version("upgrade", self.upgrade) in versions:
            self.warn("candidates", f"the upgrade version {self.upgrade} stands among the "
                      "candidate versions: products reaching it before their own version stop "
                      "the run")

    # --- the package

    def package_error(self, detail):
        self.refuse("package", f"is not a Windows Installer package ({detail})")

    def read_package(self, size):
        """(root class id, summary properties) of the package's compound file."""
        if not olefile.isOleFile(self.package):
            self.package_error("it does not start with D0 CF 11 E0 A1 B1 1A E1")
        if size < COMPOUND_FILE_HEADER:
            self.package_error("its compound file header is cut short")
        try:
            ole = olefile.OleFileIO(self.package)
        except OSError as error:  # olefile's; opening the file succeeded just above
            self.package_error(f"its compound file cannot be read: {error}")
        with ole:
            class_id = "{" + (ole.root.clsid or "00000000-0000-0000-0000-000000000000") + "}"
            if class_id != PATCH_CLASS_ID:
                kind = OTHER_CLASS_IDS.get(class_id, "no Windows Installer package")
                self.refuse("package", f"is not a patch package: its root class id is "
                            f"{class_id}, {kind}; a patch package's is {PATCH_CLASS_ID}")
            try:
                return summary_properties(ole)
            except SummaryError as error:
                self.refuse("package", str(error))

    def check_package(self):
        """Returns the patch code; fills self.target_codes."""
        path = pathlib.Path(self.package)
        if not path.exists():
            self.refuse("package", "does not exist")
        try:
            size = path.stat().st_size
            if size > MAX_PACKAGE_MIB << 20:
                self.refuse("package", f"is {size:,} bytes; at most {MAX_PACKAGE_MIB:,} MiB "
                            f"({MAX_PACKAGE_MIB << 20:,} bytes) fit, because the service "
                            "pack's image must load in a 32-bit process")
            summary = self.read_package(size)
        except (IsADirectoryError, PermissionError) as error:
            self.refuse("package", f"is not a readable file ({error.strerror})")
        codes = text_property(summary, TARGETS)
        if not TARGET_CODES.match(codes):
            self.refuse("package", f"names no target product: its summary property 7 is "
                        f"{codes!r}, not a ';'-separated list of product codes "
                        "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}")
        self.target_codes = codes
        try:
            return patch_code(summary)
        except SummaryError as error:
            self.refuse("package", str(error))

    # --- the notes

    def check_note(self, path, candidates):
        data = path.read_bytes()
        if not data:
            self.refuse("notes", f"holds {path.name}, which is empty")
        try:
            text = data.decode("ascii")
        except UnicodeDecodeError:
            self.refuse("notes", f"holds {path.name}, which is not ASCII text")
        if text.endswith("\r\n") or text.endswith("\n"):
            self.refuse("notes",
                        f"holds {path.name}, which ends with a line break (its record adds one)")
        for number, line in enumerate(text.split("\r\n"), 1):
            if not NOTE_LINE.match(line):
                self.refuse("notes", f"holds {path.name}, whose line {number} {line!r} is not "
                            "key=value (no blanks around '=', lines separated by CR LF)")
            key, value = line.split("=", 1)
            if key == "ProductVersionUpgrade":
                self.check_note_version(path, line, value, [self.upgrade], "upgrade")
            elif key == "ProductVersionCandidate":
                self.check_note_version(path, line, value, candidates, "candidates")

    def check_note_version(self, path, line, value, configured, input):
        if version_value(value) in [version_value(v) for v in configured]:
            return
        self.warn("notes", f"{path.name} says {line}, which is not among the configured "
                  f"{self.names[input]} {','.join(configured)}")

    def collect_notes(self, candidates):
        if not self.notes_dir:
            return []
        folder = pathlib.Path(self.notes_dir)
        if not folder.is_dir():
            self.refuse("notes", "does not exist")
        ids = []
        for path in folder.glob("*.txt"):
            if not path.stem.isdigit():
                self.refuse("notes", f"holds {path.name}, which is not named by its id "
                            "(206.txt, 207.txt, ...)")
            ids.append(int(path.stem))
        ids.sort()
        expected = list(range(FIRST_NOTE_ID, FIRST_NOTE_ID + len(ids)))
        if ids != expected:
            self.refuse("notes", f"must number its notes from {FIRST_NOTE_ID} without a gap, "
                        f"found {', '.join(map(str, ids))}")
        notes = [folder / f"{i}.txt" for i in ids]
        for note in notes:
            self.check_note(note, candidates)
        return notes

    # --- the maker's name

    def check_maker(self):
        name = self.maker
        if not name:
            self.refuse("maker", "is empty; message 307 names the maker")
        if any(c in '%"\\' or unicodedata.category(c) == "Cc" for c in name):
            self.refuse("maker", "must not hold '%', '\"', '\\' or control characters")
        if self.catalogue_dir is None:
            return
        for catalogue in catalogue_files(self.catalogue_dir):
            template = maker_message(catalogue)
            length = utf16_length(unescape_rc(template.replace(MAKER_IN_CATALOGUE, name)))
            if length > MESSAGE_ROOM:
                room = MESSAGE_ROOM - (length - utf16_length(name))
                self.refuse("maker", f"makes message {MAKER_MESSAGE} in "
                            f"{catalogue_language(catalogue)} {length} characters long, more "
                            f"than the {MESSAGE_ROOM} that are shown; it leaves room for a name "
                            f"of {room} characters")

    def check(self):
        """Returns the notes to embed, or raises InputError; fills self.warnings."""
        self.check_version("upgrade", self.upgrade)
        self.check_candidates()
        notes = self.collect_notes(self.candidates[:-1].split(","))
        self.check_maker()
        self.patch_code = self.check_package()
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
            if utf16_length(text) > MESSAGE_ROOM:
                raise InputError(f"catalogue {name} help string {id} has {utf16_length(text)} "
                                 f"characters, more than the {MESSAGE_ROOM} the program reads")
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
        # The prompt goes into a quoted property value of the installer's command line.
        if '"' in table.get(APPLICATIONS_TO_CLOSE, ""):
            raise InputError(f"catalogue {name} string {APPLICATIONS_TO_CLOSE} holds a double "
                             "quote, which would end its property value in the installer's "
                             "command line")


def check_inputs(package, upgrade, candidates, notes_dir, maker="Corvane", catalogue_dir=None):
    """Returns (notes, warnings) or raises InputError."""
    inputs = Inputs(package, upgrade, candidates, notes_dir, maker, catalogue_dir)
    notes = inputs.check()
    return notes, inputs.warnings


def version_value(text):
    """The four numbers of a version, so that 9.1.031.0 and 9.1.31.0 compare equal."""
    match = VERSION.match(text)
    return tuple(int(field) for field in match.groups()) if match else None


# --- the message catalogue


def catalogue_files(catalogue_dir):
    return sorted(pathlib.Path(catalogue_dir).glob("*.rc"))


def catalogue_language(path):
    """'German (Germany) (1031)' from the file's first line "// German (Germany)"."""
    first = path.read_text(encoding="utf-8").splitlines()[0]
    return f"{first.lstrip('/ ').strip()} ({path.stem.split('-')[0]})"


def maker_message(path):
    """The text of message 307 as the catalogue file writes it, with the maker's name."""
    texts = [m.group(3) for m in RC_STRING.finditer(path.read_text(encoding="utf-8"))
             if int(m.group(2)) == MAKER_MESSAGE]
    if len(texts) != 1 or texts[0].count(MAKER_IN_CATALOGUE) != 1:
        raise InputError(f"catalogue {path}: message {MAKER_MESSAGE} must be there once and name "
                         f"{MAKER_IN_CATALOGUE} once")
    return texts[0]


def unescape_rc(text):
    """The string as the program reads it from a resource-script string literal."""
    simple = {"n": "\n", "t": "\t", "\\": "\\", '"': '"'}
    return re.sub(r'""|\\(.)', lambda m: '"' if m.group(0) == '""' else simple[m.group(1)], text)


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


def catalogue_with_maker(path, maker):
    text = path.read_text(encoding="utf-8")
    template = maker_message(path)

    def replace(match):
        if int(match.group(2)) != MAKER_MESSAGE:
            return match.group(0)
        return (match.group(1) + template.replace(MAKER_IN_CATALOGUE, maker) + match.group(4))
    return RC_STRING.sub(replace, text)


def rc_path(path):
    return '"' + str(pathlib.Path(path).resolve()).replace("\\", "/") + '"'


def resource_script(package, upgrade, candidates, notes, manifest, catalogue_dir,
                    maker="Corvane"):
    lines = [
        "// Written by the build from the service pack's inputs; edit those instead.",
        "LANGUAGE 0x09, 0x01",
        f"1 24 {rc_path(manifest)}",
        f"IDR_MSP_TB MSP {rc_path(package)}",
    ]
    for note in notes:
        lines.append(f"{note.stem} TXT {rc_path(note)}")
    lines += ["STRINGTABLE", "BEGIN", f'  700 "{upgrade}"', f'  900 "{candidates}"', "END", ""]
    for catalogue in catalogue_files(catalogue_dir):
        lines.append(catalogue_with_maker(catalogue, maker))
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--package", required=True)
    parser.add_argument("--upgrade-version", required=True)
    parser.add_argument("--candidate-versions", required=True)
    parser.add_argument("--notes-dir", default="")
    parser.add_argument("--maker-name", default="Corvane")
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--manifest")
    parser.add_argument("--output", help="the resource script; without it, only check")
    parser.add_argument("--names", default="",
                        help="how messages name the package, upgrade version, candidate "
                        "versions, notes folder and maker name, separated by commas")
    args = parser.parse_args(argv)
    names = dict(zip(["package", "upgrade", "candidates", "notes", "maker"],
                     args.names.split(","))) if args.names else None
    inputs = Inputs(args.package, args.upgrade_version, args.candidate_versions, args.notes_dir,
                    args.maker_name, args.catalogue, names)
    try:
        notes = inputs.check()
        check_catalogue(args.catalogue)
    except InputError as error:
        print(f"service pack input error: {error}", file=sys.stderr)
        return 1
    for warning in inputs.warnings:
        print(f"service pack input warning: {warning}", file=sys.stderr)
    if args.output:
        script = resource_script(args.package, args.upgrade_version, args.candidate_versions,
                                 notes, args.manifest, args.catalogue, args.maker_name)
        pathlib.Path(args.output).write_text(script, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
