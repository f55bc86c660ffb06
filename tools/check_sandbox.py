#!/usr/bin/env python3
"""The release check in Windows Sandbox: one configuration, written two ways.

A Windows Sandbox configuration (.wsb) names absolute host folders, which the build cannot
know, so the build writes servicepack-check-sandbox.cmd: run on Windows from the folder that
holds the service pack, the check and the baseline products, it writes servicepack-check.wsb
for that folder and a new report folder beside it, and starts Windows Sandbox with it. The
build also renders the same configuration for an example folder (servicepack-check.example.wsb)
and checks it here, as a reader of the file would see it.

The configuration: the folder, read-only, at C:\\ServicePackCheck\\files in the sandbox; the
report folder, writable, at C:\\ServicePackCheck\\report; no network (the check needs none);
at logon, servicepack-check.exe on servicepack.exe and each product, with the report there.

    check_sandbox.py names --product <name.msi>...        (refuses names it cannot write)
    check_sandbox.py render --cmd <file> --example <file> --product <name.msi>...
    check_sandbox.py validate <file.wsb> --product <name.msi>... [--folder <host folder>]

The elements are those of Microsoft's "Windows Sandbox configuration" page (learn.microsoft.com,
windows/security/application-security/application-isolation/windows-sandbox/
windows-sandbox-configure-using-wsb-file).
"""

import argparse
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

PACK = "servicepack.exe"
CHECK = "servicepack-check.exe"
CMD = "servicepack-check-sandbox.cmd"
WSB = "servicepack-check.wsb"
SANDBOX_FILES = r"C:\ServicePackCheck\files"
SANDBOX_REPORT = r"C:\ServicePackCheck\report"
EXAMPLE_FOLDER = r"C:\check"
# The first report folder the script makes beside a folder: <folder>-report-1.
REPORT_SUFFIX = "-report-"

# The names go into the script's own lines and into a command line inside quotes: letters,
# digits, blanks and ._+- only, so that neither cmd nor XML reads anything into them.
PRODUCT_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9 ._+-]*\.msi", re.IGNORECASE)

# What Windows Sandbox reads at the top of a configuration (Microsoft's page spells the first
# one both vGPU and vGpu).
TOP_ELEMENTS = {"vGPU", "vGpu", "Networking", "MappedFolders", "LogonCommand", "AudioInput",
                "VideoInput", "ProtectedClient", "PrinterRedirection", "ClipboardRedirection",
                "MemoryInMB"}
MAPPED_FOLDER_ELEMENTS = ("HostFolder", "SandboxFolder", "ReadOnly")
# A drive's root (C:\), a folder on a drive (C:\a\b) or on a share (\\server\share\a).
WINDOWS_PATH = re.compile(r"(?:[A-Za-z]:\\|\\\\[^\\/:*?\"<>|]+\\[^\\/:*?\"<>|]+)"
                          r"(?:[^\\/:*?\"<>|\x00-\x1f]+(?:\\[^\\/:*?\"<>|\x00-\x1f]+)*)?")
DRIVE_PATH = re.compile(r"[A-Za-z]:\\(?:[^\\/:*?\"<>|\x00-\x1f]+(?:\\[^\\/:*?\"<>|\x00-\x1f]+)*)?")


class Refused(Exception):
    pass


def check_product_names(products):
    if not products:
        raise Refused("no baseline product is named")
    seen = set()
    for name in products:
        if not PRODUCT_NAME.fullmatch(name):
            raise Refused(f"the product file name {name!r} is not a plain .msi name (letters, "
                          "digits, blanks and ._+- only)")
        if name.lower() in seen:
            raise Refused(f"the product file name {name!r} is given twice")
        seen.add(name.lower())


def xml_text(value):
    return value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def logon_command(products):
    """The check's command line inside the sandbox; every path in quotes (names may hold
    blanks), none ending in a backslash."""
    paths = [f"{SANDBOX_FILES}\\{name}" for name in [CHECK, PACK, *products]]
    return " ".join(f'"{path}"' for path in paths) + f' --report "{SANDBOX_REPORT}"'


def configuration_lines(host_xml, report_xml, products):
    """The .wsb's lines; the two host folders come already in XML text. No line is indented:
    each is written by a plain `echo`, which keeps no leading blank on every cmd."""
    return [
        "<Configuration>",
        "<Networking>Disable</Networking>",
        "<MappedFolders>",
        "<MappedFolder>",
        f"<HostFolder>{host_xml}</HostFolder>",
        f"<SandboxFolder>{SANDBOX_FILES}</SandboxFolder>",
        "<ReadOnly>true</ReadOnly>",
        "</MappedFolder>",
        "<MappedFolder>",
        f"<HostFolder>{report_xml}</HostFolder>",
        f"<SandboxFolder>{SANDBOX_REPORT}</SandboxFolder>",
        "<ReadOnly>false</ReadOnly>",
        "</MappedFolder>",
        "</MappedFolders>",
        "<LogonCommand>",
        f"<Command>{xml_text(logon_command(products))}</Command>",
        "</LogonCommand>",
        "</Configuration>",
    ]


def report_folder(folder, number=1):
    """The report folder the script makes for a folder: beside it, or inside a drive's root."""
    if folder.endswith(":\\"):
        return f"{folder}servicepack-check-report-{number}"
    return f"{folder}{REPORT_SUFFIX}{number}"


def wsb_text(folder, products, number=1):
    """The configuration for one folder (no trailing backslash, except a drive's root) and its
    report folder of that number."""
    lines = configuration_lines(xml_text(folder), xml_text(report_folder(folder, number)),
                                products)
    return "\r\n".join(lines) + "\r\n"


# --- The script. Placeholders that no escaping touches stand for the two folders.
HOST, REPORT = "\x01host\x01", "\x01report\x01"


def cmd_echo(line, first):
    """`echo` of one line of text into the .wsb: outside quotes every character
    cmd reads is escaped with ^; inside quotes cmd takes everything literally. The line starts
    with "<", so echo neither reports its state nor reads an option."""
    if not line.startswith("<") or "%" in line or "!" in line or line.count('"') % 2:
        raise Refused(f"cannot write {line!r} with echo")
    parts = line.split('"')
    for index in range(0, len(parts), 2):
        parts[index] = re.sub(r"([\^&<>|()])", r"^\1", parts[index])
    text = '"'.join(parts).replace(HOST, "!host_xml!").replace(REPORT, "!report_xml!")
    return (">" if first else ">>") + '"!wsb!" echo ' + text


SCRIPT_HEAD = r"""@echo off
rem Runs the release check in a fresh Windows Sandbox: servicepack-check.exe on the service pack
rem and the baseline products in this script's folder. Writes servicepack-check.wsb for this
rem folder, makes a new report folder beside it (FOLDER-report-1, -2, ...; in a drive's root:
rem servicepack-check-report-1, ...) and starts Windows Sandbox with it. The sandbox sees
rem this folder read-only and the report folder writable; at logon it runs
rem   @COMMAND@
rem Windows Sandbox comes with Windows 10 and 11 Pro and Enterprise. Written by the build
rem (tools/check_sandbox.py); servicepack-check.example.wsb beside it is the same for C:\check.
setlocal EnableExtensions DisableDelayedExpansion

rem The script's folder ends with a backslash: a drive's root keeps it (E:\), any other folder drops it.
set "folder=%~dp0"
set "report_base=%~dp0servicepack-check-report"
if "%folder:~-2%"==":\" goto folder_named
set "folder=%folder:~0,-1%"
set "report_base=%folder%-report"
:folder_named

set "missing="
for %%f in (@FILES@) do if not exist "%~dp0%%~f" set "missing=%%~f"
if defined missing goto missing_file

rem A report folder of its own for each run: the first number not taken.
set /a number=0
:next_report
set /a number+=1
if %number% gtr 99 goto no_report_folder
if exist "%report_base%-%number%" goto next_report
set "report=%report_base%-%number%"
mkdir "%report%" 2>nul
if not exist "%report%\" goto no_report_folder

rem A folder name may hold an ampersand, which XML writes as &amp;.
set "host_xml=%folder:&=&amp;%"
set "report_xml=%report:&=&amp;%"
set "wsb=%~dp0@WSB@"
del "%wsb%" 2>nul
rem UTF-8, as XML without a declaration is read: echo writes in the console's code page, so the
rem code page is 65001 while the file is written, and the one before it afterwards.
set "codepage="
for /f "tokens=2 delims=:." %%c in ('chcp') do set /a "codepage=%%c" 2>nul
chcp 65001 >nul
rem With delayed expansion on, a value expanded with percent signs loses its exclamation marks:
rem inside, the names are expanded with exclamation marks only.
setlocal EnableDelayedExpansion
"""

SCRIPT_TAIL = r"""endlocal
if defined codepage chcp %codepage% >nul
if not exist "%wsb%" goto no_wsb

assoc .wsb >nul 2>nul
if errorlevel 1 goto no_sandbox
echo Starting Windows Sandbox with "%wsb%".
echo servicepack-check.exe runs there at logon and writes report.txt and report.xml to
echo "%report%".
echo Closing the sandbox discards everything in it: close it once the check has finished.
start "" "%wsb%"
exit /b 0

:missing_file
echo servicepack-check-sandbox: "%~dp0%missing%" is missing. The folder must hold
echo @FILE_LIST@.
goto failed
:no_report_folder
echo servicepack-check-sandbox: could not make a report folder "%report_base%-%number%".
goto failed
:no_wsb
echo servicepack-check-sandbox: could not write "%wsb%".
goto failed
:no_sandbox
echo Windows Sandbox is not enabled on this machine. It comes with Windows 10 and 11 Pro and
echo Enterprise: search for "Turn Windows features on or off" and tick Windows Sandbox, or run
echo in PowerShell as administrator:
echo   Enable-WindowsOptionalFeature -FeatureName Containers-DisposableClientVM -All -Online
echo "%wsb%" is written and can be opened once it is.
goto failed
:failed
pause
exit /b 1
"""


def cmd_text(products):
    check_product_names(products)
    files = [PACK, CHECK, *products]
    head = (SCRIPT_HEAD.replace("@COMMAND@", logon_command(products))
            .replace("@FILES@", " ".join(f'"{name}"' for name in files))
            .replace("@WSB@", WSB))
    tail = SCRIPT_TAIL.replace("@FILE_LIST@", ", ".join(files))
    lines = configuration_lines(HOST, REPORT, products)
    body = "\n".join(cmd_echo(line, index == 0) for index, line in enumerate(lines))
    text = head + body + "\n" + tail
    if not text.isascii():
        raise Refused("the script must be ASCII (cmd reads it in the console's code page)")
    # cmd reads a batch file with LF-only lines wrongly around labels: CR LF throughout.
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


# --- Reading a .wsb back.
def command_arguments(command):
    """Splits a command line whose arguments are plain or wholly in quotes (as ours are)."""
    arguments = []
    for match in re.finditer(r'"([^"]*)"(?=\s|$)|([^\s"]+)(?=\s|$)|(\S+)', command):
        if match.group(3) is not None:
            raise Refused(f"the command line {command!r} holds a quote inside an argument")
        arguments.append(match.group(1) if match.group(1) is not None else match.group(2))
    return arguments


def only_child(parent, tag, where):
    found = parent.findall(tag)
    if len(found) != 1:
        raise Refused(f"{where} has {len(found)} <{tag}> elements, not 1")
    return found[0]


def text_of(element, where):
    text = (element.text or "").strip()
    if not text:
        raise Refused(f"{where} is empty")
    if len(element):
        raise Refused(f"{where} holds elements, not text")
    return text


def read_configuration(text, products):
    """Checks a .wsb for what servicepack-check-sandbox.cmd writes; returns its two mapped
    folders {sandbox folder: (host folder, read-only)}. Raises Refused with the first problem."""
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        raise Refused(f"not XML: {error}")
    if root.tag != "Configuration":
        raise Refused(f"the root element is <{root.tag}>, not <Configuration>")
    seen = set()
    for child in root:
        if child.tag not in TOP_ELEMENTS:
            raise Refused(f"<Configuration> holds <{child.tag}>, which Windows Sandbox does not "
                          "read")
        if child.tag in seen:
            raise Refused(f"<Configuration> holds <{child.tag}> twice")
        seen.add(child.tag)
    networking = only_child(root, "Networking", "<Configuration>")
    if text_of(networking, "<Networking>") != "Disable":
        raise Refused("<Networking> is not Disable")

    folders = {}
    mapped = only_child(root, "MappedFolders", "<Configuration>")
    for child in mapped:
        if child.tag != "MappedFolder":
            raise Refused(f"<MappedFolders> holds <{child.tag}>")
        names = [element.tag for element in child]
        if sorted(names) != sorted(MAPPED_FOLDER_ELEMENTS):
            raise Refused(f"a <MappedFolder> holds {names}, not one each of "
                          f"{list(MAPPED_FOLDER_ELEMENTS)}")
        host = text_of(child.find("HostFolder"), "<HostFolder>")
        sandbox = text_of(child.find("SandboxFolder"), "<SandboxFolder>")
        read_only = text_of(child.find("ReadOnly"), "<ReadOnly>")
        if host.endswith("\\") and not host.endswith(":\\"):
            raise Refused(f"<HostFolder> {host!r} ends with a backslash")
        if not WINDOWS_PATH.fullmatch(host):
            raise Refused(f"<HostFolder> {host!r} is not an absolute Windows path")
        if not DRIVE_PATH.fullmatch(sandbox) or sandbox.endswith("\\"):
            raise Refused(f"<SandboxFolder> {sandbox!r} is not an absolute Windows path of a "
                          "folder on a drive")
        if read_only.lower() not in ("true", "false"):
            raise Refused(f"<ReadOnly> is {read_only!r}, not true or false")
        if sandbox.lower() in (key.lower() for key in folders):
            raise Refused(f"<SandboxFolder> {sandbox!r} is mapped twice")
        folders[sandbox] = (host, read_only.lower() == "true")
    expected = {SANDBOX_FILES: True, SANDBOX_REPORT: False}
    if {key: value[1] for key, value in folders.items()} != expected:
        raise Refused(f"the mapped folders are {folders}, not {SANDBOX_FILES} read-only and "
                      f"{SANDBOX_REPORT} writable")
    if folders[SANDBOX_FILES][0].lower() == folders[SANDBOX_REPORT][0].lower():
        raise Refused("the report folder is the folder of the files")

    logon = only_child(root, "LogonCommand", "<Configuration>")
    if [element.tag for element in logon] != ["Command"]:
        raise Refused("<LogonCommand> holds something else than one <Command>")
    arguments = command_arguments(text_of(logon.find("Command"), "<Command>"))
    expected_arguments = [f"{SANDBOX_FILES}\\{name}" for name in [CHECK, PACK, *products]]
    expected_arguments += ["--report", SANDBOX_REPORT]
    if arguments != expected_arguments:
        raise Refused(f"the logon command runs {arguments}, not {expected_arguments}")
    return folders


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    names = commands.add_parser("names", help="check the product file names")
    names.add_argument("--product", action="append", default=[], dest="products")
    render = commands.add_parser("render", help="write the script and the example .wsb")
    render.add_argument("--cmd", required=True, type=pathlib.Path)
    render.add_argument("--example", required=True, type=pathlib.Path)
    render.add_argument("--product", action="append", default=[], dest="products")
    validate = commands.add_parser("validate", help="check a .wsb")
    validate.add_argument("wsb", type=pathlib.Path)
    validate.add_argument("--product", action="append", default=[], dest="products")
    validate.add_argument("--folder", help="the host folder it must be for")
    args = parser.parse_args()
    try:
        check_product_names(args.products)
        if args.command == "names":
            pass
        elif args.command == "render":
            example = wsb_text(EXAMPLE_FOLDER, args.products)
            read_configuration(example, args.products)
            args.cmd.write_bytes(cmd_text(args.products).encode("ascii"))
            args.example.write_bytes(example.encode("utf-8"))
        else:
            try:
                text = args.wsb.read_bytes().decode("utf-8")
            except (OSError, UnicodeDecodeError) as error:
                raise Refused(f"cannot read it: {error}")
            folders = read_configuration(text, args.products)
            if args.folder is not None and folders[SANDBOX_FILES][0] != args.folder:
                raise Refused(f"it maps {folders[SANDBOX_FILES][0]!r}, not {args.folder!r}")
            print(f"{args.wsb}: maps {folders[SANDBOX_FILES][0]} read-only and "
                  f"{folders[SANDBOX_REPORT][0]} writable, runs {CHECK} on {PACK} and "
                  f"{', '.join(args.products)}")
    except Refused as problem:
        where = args.wsb if args.command == "validate" else "check_sandbox.py"
        print(f"{where}: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
