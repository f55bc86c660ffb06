"""The Wine test bench: runs a Windows program in a throw-away copy of a prepared
WINEPREFIX and reports what it did.

A run returns the program's full 32-bit exit code (read by our launcher, since
wine cuts it to 8 bits), the message boxes it showed and the installer calls it
made (both read from Wine's relay trace of a few chosen functions), the files it
wrote on drive C, and, on request, the state and version of installed products.
"""

import contextlib
import dataclasses
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

# Functions whose calls the relay trace records, with their arguments.
RELAY_FUNCTIONS = [
    "user32.MessageBoxW", "user32.MessageBoxExW", "user32.MessageBoxA",
    "user32.MessageBoxIndirectW",
    "msi.MsiConfigureProductExW", "msi.MsiEnableLogW", "msi.MsiSetInternalUI",
    "msi.MsiGetSummaryInformationW", "msi.MsiQueryProductStateW", "msi.MsiGetProductInfoW",
    "kernel32.SetThreadLocale",
]

BENCH_DIR = "C:\\bench"  # where the bench's own tools live inside each prefix
DLL_OVERRIDES = "mscoree,mshtml="  # no .NET or Gecko installer prompts in a new prefix


def wine_environment(prefix, extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEARCH": "win32",
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": DLL_OVERRIDES,
        "LC_ALL": "C.UTF-8",
    })
    env.pop("DISPLAY", None)
    env.update(extra or {})
    return env


def run_wine(prefix, args, cwd=None, env=None, timeout=120):
    return subprocess.run(["wine"] + list(args), cwd=cwd, env=wine_environment(prefix, env),
                          capture_output=True, timeout=timeout)


def stop_wineserver(prefix, kill=False):
    """Waits until the prefix's server has gone; first ends every process in it if `kill`."""
    if kill:
        subprocess.run(["wineserver", "-k"], env=wine_environment(prefix), capture_output=True,
                       timeout=120)
    subprocess.run(["wineserver", "-w"], env=wine_environment(prefix), capture_output=True,
                   timeout=120)


# ---- the relay trace ----

@dataclasses.dataclass
class WString:
    text: str
    truncated: bool  # Wine prints at most about 300 characters of each string


@dataclasses.dataclass
class Call:
    thread: str
    function: str  # e.g. "msi.MsiConfigureProductExW"
    args: list
    retval: int = None


@dataclasses.dataclass
class Box:
    text: str
    caption: str
    style: int
    truncated: bool


CALL = re.compile(r"^([0-9a-f]{4}):Call ([\w]+)\.(\w+)\((.*)\) ret=[0-9a-f]+$")
RET = re.compile(r"^([0-9a-f]{4}):Ret  ([\w]+)\.(\w+)\(\) retval=([0-9a-f]+) ret=[0-9a-f]+$")
STRING_ARG = re.compile(r'^([0-9a-f]+) L?"(.*)"(\.\.\.)?$', re.S)


def decode_wine_string(escaped):
    """Undoes the escaping of Wine's debug strings."""
    out = []
    i = 0
    while i < len(escaped):
        c = escaped[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = escaped[i + 1]
        simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}
        if nxt in simple:
            out.append(simple[nxt])
            i += 2
        else:
            out.append(chr(int(escaped[i + 1:i + 5], 16)))
            i += 5
    return "".join(out)


def split_arguments(text):
    args, current, quoted, i = [], [], False, 0
    while i < len(text):
        c = text[i]
        if quoted and c == "\\":
            current.append(text[i:i + 2])
            i += 2
            continue
        if c == '"':
            quoted = not quoted
        if c == "," and not quoted:
            args.append("".join(current))
            current = []
        else:
            current.append(c)
        i += 1
    if current or args:
        args.append("".join(current))
    return args


def parse_argument(text):
    match = STRING_ARG.match(text)
    if match:
        return WString(decode_wine_string(match.group(2)), bool(match.group(3)))
    if re.fullmatch(r"[0-9a-f]+", text):
        return int(text, 16)
    return text


def parse_relay(stderr):
    calls, pending = [], {}
    for line in stderr.splitlines():
        match = CALL.match(line)
        if match:
            thread, module, function, args = match.groups()
            call = Call(thread, f"{module}.{function}",
                        [parse_argument(a) for a in split_arguments(args)])
            calls.append(call)
            pending.setdefault((thread, call.function), []).append(call)
            continue
        match = RET.match(line)
        if match:
            thread, module, function, retval = match.groups()
            waiting = pending.get((thread, f"{module}.{function}"))
            if waiting:
                waiting.pop().retval = int(retval, 16)
    return calls


def boxes_of(calls):
    boxes = []
    for call in calls:
        if call.function in ("user32.MessageBoxW", "user32.MessageBoxA", "user32.MessageBoxExW"):
            _, text, caption, style = call.args[:4]
            boxes.append(Box(text.text if isinstance(text, WString) else "",
                             caption.text if isinstance(caption, WString) else "",
                             style, isinstance(text, WString) and text.truncated))
    return boxes


# ---- prefixes and runs ----

@dataclasses.dataclass
class Result:
    exit_code: int  # None when the run timed out
    timed_out: bool
    seconds: float
    calls: list
    boxes: list
    written: dict  # Windows path -> host path of every file created or changed on drive C
    removed: list  # Windows paths of files that were there before and are gone
    stdout: str
    stderr: str

    def installer_calls(self, name):
        return [c for c in self.calls if c.function == f"msi.{name}"]


def snapshot(drive_c):
    files = {}
    for root, dirs, names in os.walk(drive_c):
        for name in names:
            path = os.path.join(root, name)
            try:
                st = os.lstat(path)
            except FileNotFoundError:
                continue
            files[path] = (st.st_size, st.st_mtime_ns)
    return files


class Case:
    """One test's own copy of a base prefix; removed again by close()."""

    def __init__(self, base, workdir=None):
        self.base = pathlib.Path(base)
        self.info = json.loads((self.base / "bench.json").read_text())
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="spcase-", dir=workdir))
        self.prefix = self.dir / "prefix"
        subprocess.run(["cp", "-a", str(self.base), str(self.prefix)], check=True)
        self.drive_c = self.prefix / "drive_c"
        self.runs = 0
        self._start_wineserver()

    def _start_wineserver(self):
        # One server for the case's whole life, so that runs after the first start warm.
        subprocess.run(["wineserver", "-p"], env=wine_environment(self.prefix), check=True)

    def close(self):
        stop_wineserver(self.prefix, kill=True)
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def temp_dir(self):
        """The program's temporary directory, as Windows names it (no trailing backslash)."""
        return self.info["temp"]

    def host(self, windows_path):
        """The host path of a path on drive C."""
        assert windows_path[:2].upper() == "C:", windows_path
        return self.drive_c / windows_path[3:].replace("\\", "/")

    def windows(self, host_path):
        relative = pathlib.Path(host_path).relative_to(self.drive_c)
        return "C:\\" + str(relative).replace("/", "\\")

    def put(self, source, windows_path):
        """Copies a host file into the prefix."""
        target = self.host(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        return windows_path

    def run(self, program, arguments="", env=None, cwd="C:\\", timeout=60, trace=True,
            dll_overrides=None, launcher=("spexit",)):
        """Runs a program already on drive C with a raw argument text. `dll_overrides` adds
        entries to WINEDLLOVERRIDES for the run, e.g. "msi=n,b". `launcher` is the bench's
        tool that starts it and its first arguments, e.g. ("spunseen", "30"); a run that
        reaches that launcher's own time limit counts as timed out."""
        program = program if " " not in program else f'"{program}"'
        assignments = [f"{k}={v}" for k, v in (env or {}).items()]
        host_cwd = self.host(cwd)
        host_cwd.mkdir(parents=True, exist_ok=True)
        before = snapshot(self.drive_c)
        command = ["wine", f"{BENCH_DIR}\\{launcher[0]}.exe", *launcher[1:]] + assignments
        wine_env = wine_environment(self.prefix, {
            "WINEDEBUG": "-all,+relay" if trace else "-all",
            "SPEXIT_COMMAND_LINE": f"{program} {arguments}" if arguments else program,
            "WINEDLLOVERRIDES": ";".join(filter(None, [DLL_OVERRIDES, dll_overrides])),
        })
        # Output goes to files: Wine's background services inherit the handles and
        # outlive the run, so pipes would never reach their end.
        self.runs += 1
        out_path = self.dir / f"run{self.runs}.out"
        err_path = self.dir / f"run{self.runs}.err"
        started = time.monotonic()
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            process = subprocess.Popen(command, cwd=host_cwd, env=wine_env, stdout=out,
                                       stderr=err)
            timed_out = False
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                timed_out = True
                stop_wineserver(self.prefix, kill=True)
                process.wait()
                self._start_wineserver()
        seconds = time.monotonic() - started
        stdout = out_path.read_bytes().decode("utf-8", "replace")
        stderr = err_path.read_bytes().decode("utf-8", "replace")
        match = re.search(r"^exit=(\d+)\s*$", stdout, re.M)
        timed_out = timed_out or re.search(r"^limit-reached\s*$", stdout, re.M) is not None
        exit_code = int(match.group(1)) if match and not timed_out else None
        if not timed_out and exit_code is None:
            raise RuntimeError(f"the launcher reported no exit code:\n{stdout}\n{stderr[-2000:]}")
        after = snapshot(self.drive_c)
        written = {self.windows(p): pathlib.Path(p) for p, s in after.items()
                   if before.get(p) != s}
        removed = sorted(self.windows(p) for p in before if p not in after)
        calls = parse_relay(stderr)
        return Result(exit_code, timed_out, seconds, calls, boxes_of(calls), written, removed,
                      stdout, stderr)

    def servicepack(self, arguments="", exe="servicepack.exe", **options):
        """Runs a service pack of the build from C:\\sp with a raw argument text."""
        program = f"C:\\sp\\{exe}"
        if not self.host(program).exists():
            self.put(build_dir() / exe, program)
        return self.run(program, arguments, **options)

    @contextlib.contextmanager
    def beside(self, tool, arguments, ready):
        """While the block runs, one of the bench's tools runs beside it; the block gets
        the path of its output once the output holds `ready`."""
        self.runs += 1
        out_path = self.dir / f"run{self.runs}.out"
        with open(out_path, "wb") as out:
            process = subprocess.Popen(
                ["wine", f"{BENCH_DIR}\\{tool}.exe"] + list(arguments),
                cwd=self.drive_c, env=wine_environment(self.prefix), stdout=out,
                stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while ready not in out_path.read_bytes():
            if process.poll() is not None or time.monotonic() > deadline:
                process.kill()
                raise RuntimeError(f"{tool} did not start: {out_path.read_bytes()!r}")
            time.sleep(0.2)
        try:
            yield out_path
        finally:
            process.kill()
            process.wait()

    @contextlib.contextmanager
    def holding(self, windows_path, seconds=120):
        """While the block runs, another Windows program holds the file open for writing,
        shared with nobody (Wine enforces sharing only between its own processes)."""
        with self.beside("sphold", [windows_path, str(seconds)], b"held"):
            yield

    def run_tool(self, name, arguments, timeout=120):
        """Runs one of the bench's console tools and returns its standard output."""
        self.runs += 1
        out_path = self.dir / f"run{self.runs}.out"
        with open(out_path, "wb") as out:
            subprocess.run(["wine", f"{BENCH_DIR}\\{name}.exe"] + list(arguments),
                           cwd=self.drive_c, env=wine_environment(self.prefix), stdout=out,
                           stderr=subprocess.DEVNULL, timeout=timeout, check=True)
        return out_path.read_bytes().decode("utf-8", "replace")

    def products(self, codes):
        """{code: (state, VersionString)} as Windows Installer reports them now."""
        states = {}
        for line in self.run_tool("msptool", ["query"] + list(codes)).splitlines():
            parts = line.split()
            if len(parts) >= 2 and parts[0] in codes:
                states[parts[0]] = (int(parts[1]), parts[2] if len(parts) > 2 else "")
        return states


def base(name):
    """The base prefix `name` that this test run built (see prefixes.py)."""
    return pathlib.Path(os.environ["SP_BENCH_PREFIXES"]) / name


def build_dir():
    return pathlib.Path(os.environ["SP_BUILD_DIR"])


def sample_patch():
    """The patch package that servicepack.exe carries."""
    return pathlib.Path(os.environ["SP_SAMPLE_PATCH"])


def samples():
    """What the build's sample products and patches are (samples/samples.json)."""
    return json.loads((build_dir() / "samples" / "samples.json").read_text())


def catalogue(exe="servicepack.exe"):
    """{language: {id: text}} of the string tables the built service pack carries."""
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
    import peresources
    return peresources.load(build_dir() / exe).strings()


def message(language, id, argument=None, exe="servicepack.exe"):
    """Message `id` as the service pack shows it in `language`."""
    text = catalogue(exe)[language][id]
    if argument is not None:
        text = re.sub(r"%[ds]", lambda _: str(argument), text, count=1)
    return text


def first_command_line(package, applications_text):
    return (f'PATCH="{package}" REBOOTPROMPT=S FILESINUSETEXT="{applications_text}" '
            "REINSTALL=ALL REINSTALLMODE=emus")


def second_command_line(package):
    return f'PATCH="{package}" REINSTALL=ALL REINSTALLMODE=emus'
