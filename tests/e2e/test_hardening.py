"""What the installer hands Windows Installer, under Wine: the package it carries,
whatever another process tries meanwhile; a package path the PATCH property cannot
misread; and logs that are only files."""

import ctypes
import os
import re
import select
import struct
import threading
import time
import unittest

import bench

# What is planted at a path from Linux before a run (a Windows program cannot make
# links under Wine 8), and what each must leave as it was.
PLANTS = ("link to a file", "dangling link", "link to a folder", "hard link")


class Plant:
    """A link of one kind at `path`; `intact()` says whether what it leads to is unchanged."""

    def __init__(self, case, path, kind):
        self.path, self.kind = path, kind
        self.victim = case.host("C:\\victim.txt")
        self.folder = case.host("C:\\victims")
        self.missing = self.folder / "created-through-a-link.txt"
        self.folder.mkdir(exist_ok=True)
        (self.folder / "inside.txt").write_bytes(b"a file in someone else's folder")
        self.victim.write_bytes(b"someone else's file")
        path.parent.mkdir(parents=True, exist_ok=True)
        if kind == "link to a file":
            os.symlink(self.victim, path)
        elif kind == "dangling link":
            os.symlink(self.missing, path)
        elif kind == "link to a folder":
            os.symlink(self.folder, path)
        else:
            os.link(self.victim, path)

    def intact(self):
        return (self.victim.read_bytes() == b"someone else's file"
                and sorted(p.name for p in self.folder.iterdir()) == ["inside.txt"]
                and (self.path.is_symlink() or self.path.samefile(self.victim)))


def inotify_on_close_write(folder, pattern, action, stop):
    """Calls `action(name)` the moment a file in `folder` whose name matches `pattern` is
    closed after writing (inotify), until `stop` is set."""
    libc = ctypes.CDLL(None, use_errno=True)
    fd = libc.inotify_init1(os.O_NONBLOCK)
    IN_CLOSE_WRITE = 0x8
    libc.inotify_add_watch(fd, str(folder).encode(), IN_CLOSE_WRITE)
    try:
        while not stop.is_set():
            # Woken by the event itself: the program reopens its package right after
            # closing it, so a sleep between polls would miss the moment.
            if not select.select([fd], [], [], 0.05)[0]:
                continue
            try:
                data = os.read(fd, 4096)
            except BlockingIOError:
                continue
            at = 0
            while at < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].rstrip(b"\0").decode()
                at += 16 + length
                if re.fullmatch(pattern, name):
                    action(name)
                    return
    finally:
        os.close(fd)


class Hardening(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = {p["key"]: p for p in cls.samples["products"]}
        cls.codes = [cls.products[k]["code"] for k in ("en", "de")]
        cls.upgrade = cls.samples["upgradeVersion"]

    def assert_patched(self, case, result):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(case.products(self.codes),
                         {code: (5, self.upgrade) for code in self.codes})

    def patch_values(self, result):
        return [re.match(r'PATCH="([^"]*)"', c.args[3].text).group(1)
                for c in result.installer_calls("MsiConfigureProductExW")]

    def test_nobody_can_swap_or_change_the_package_while_it_is_used(self):
        with bench.Case(bench.base("candidates")) as case:
            failing = next(p for p in self.samples["patches"] if p["name"] == "failing")
            other = case.put(failing["path"], "C:\\other.msp")
            # The first product's log appears once the package is held: from then
            # on the helper keeps trying until the run has deleted the package.
            marker = f"{case.temp_dir}\\{self.products['en']['name']}.log"
            with case.beside("spswap", [case.temp_dir, other, "120", marker],
                             b"started") as output:
                result = case.servicepack("/q")
                lines = output.read_text(errors="replace").split("\n")[1:]
            attempts = [line.split() for line in lines if line.strip()]
            # Held read-only, shared for reading only: every attempt fails while the
            # package is held. Once the run lets go of it, right before deleting it, an
            # attempt may succeed (and put a file back); from the first success on, the
            # attempts either succeed or find the package gone (2).
            refused = [a for a in attempts if a[2] != "0"]
            succeeded = [i for i, a in enumerate(attempts) if a[2] == "0"]
            self.assertTrue(refused, f"no attempt fell inside the hold: {attempts[:10]}")
            if succeeded:
                self.assertEqual({a[2] for a in attempts[succeeded[0]:]} - {"0", "2"}, set(),
                                 attempts[succeeded[0]:][:10])
            self.assertIn(("open", "32"), {(a[0], a[2]) for a in refused})
            # What Windows Installer applied was the package the program carries.
            self.assert_patched(case, result)

    def test_a_temporary_folder_with_a_semicolon_patches_through_the_short_name(self):
        with bench.Case(bench.base("candidates")) as case:
            case.host("C:\\a;b").mkdir()
            result = case.servicepack("/q", env={"TMP": "C:\\a;b"})
            self.assert_patched(case, result)
            packages = self.patch_values(result)
            self.assertEqual(len(packages), 4)
            for package in packages:
                self.assertNotIn(";", package)
                self.assertTrue(package.upper().startswith("C:\\"), package)
            self.assertFalse(case.host("C:\\a;b\\MSP2").exists())

    def test_links_planted_at_every_file_the_run_writes_are_never_written_through(self):
        for target in ("product log", "run log", "patch list", "package"):
            for kind in PLANTS:
                with self.subTest(target=target, kind=kind), \
                        bench.Case(bench.base("candidates")) as case:
                    self.check_plant(case, target, kind)

    def check_plant(self, case, target, kind):
        # With "/log" the product logs go beside the run log.
        en_log = f"C:\\logs\\sp_{self.products['en']['name']}.log"
        paths = {"product log": en_log, "run log": "C:\\logs\\sp.log",
                 "patch list": "C:\\lists\\list.txt", "package": f"{case.temp_dir}\\MSP2"}
        case.host("C:\\logs").mkdir(exist_ok=True)
        case.host("C:\\lists").mkdir(exist_ok=True)
        plant = Plant(case, case.host(paths[target]), kind)
        if target == "patch list":
            result = case.servicepack("/p C:\\lists\\list.txt")
            self.assertFalse(result.timed_out)
            # Refused as a file that can be neither opened nor created.
            self.assertEqual([b.text for b in result.boxes], [bench.message(1033, 310)])
            # 1920 for a file refused on its handle; the open's own code where Wine
            # refuses it first (5 for a folder, 2 through a dangling link).
            self.assertIn(result.exit_code, (2, 5, 1920))
        else:
            result = case.servicepack("/q /log C:\\logs\\sp.log")
            self.assert_patched(case, result)
            logs = [c.args[1] for c in result.installer_calls("MsiEnableLogW")]
            # A refused run log is none: the product logs go to the temporary folder.
            expected_en = (0 if target == "product log" else bench.WString(
                f"{case.temp_dir}\\{self.products['en']['name']}.log" if target == "run log"
                else en_log, False))
            self.assertEqual(logs[0], expected_en)
            if target != "run log":
                run_log = case.host("C:\\logs\\sp.log").read_bytes()
                self.assertTrue(run_log.endswith(b"exit code 0\r\n"), run_log[-200:])
        self.assertTrue(plant.intact(), f"{target}, {kind}: the plant's target changed")

    def test_a_package_swapped_for_a_link_before_it_is_held_is_not_applied(self):
        # Between the write and the hold the package is held by nobody: a racer puts a
        # link to an identical copy at its name, then points the link at another patch.
        failing = next(p for p in self.samples["patches"] if p["name"] == "failing")
        outcomes = []
        for attempt in range(6):
            with bench.Case(bench.base("candidates")) as case:
                copy = case.host(case.put(bench.sample_patch(), "C:\\copy.msp"))
                other = case.host(case.put(failing["path"], "C:\\other.msp"))
                temp = case.host(case.temp_dir)
                link = temp / "swap.link"
                os.symlink(copy, link)
                swapped = threading.Event()

                def swap(name):
                    os.rename(link, temp / name)  # one step: the name is never missing
                    swapped.set()

                stop = threading.Event()
                watcher = threading.Thread(target=inotify_on_close_write,
                                           args=(temp, r"MSP\d+", swap, stop))
                watcher.start()
                time.sleep(0.2)
                run = {}
                runner = threading.Thread(target=lambda: run.update(
                    result=case.servicepack("/q /log C:\\sp.log")))
                runner.start()
                log = case.host("C:\\sp.log")
                caught = False
                deadline = time.monotonic() + 60
                while runner.is_alive() and time.monotonic() < deadline:
                    text = log.read_text(errors="replace") if log.exists() else ""
                    if "package changed or unreadable once written: error 1603" in text:
                        caught = True
                    if "targets " in text or caught:
                        break
                    time.sleep(0.005)
                if caught:
                    # The attack goes on: the link now leads to another patch.
                    for name in os.listdir(temp):
                        if re.fullmatch(r"MSP\d+", name) and (temp / name).is_symlink():
                            os.remove(temp / name)
                            os.symlink(other, temp / name)
                # Otherwise the link came only after the hold, which a rename from Linux
                # can do under Wine alone (on Windows the held package cannot be renamed
                # over); pointing it elsewhere then would show Wine, not the program.
                runner.join(90)
                stop.set()
                watcher.join(5)
                result = run["result"]
                self.assertTrue(swapped.is_set(), "the package was never closed after writing")
                calls = result.installer_calls("MsiConfigureProductExW")
                # The other patch would make each reconfiguration return 1603.
                self.assertEqual([c.retval for c in calls if c.retval not in (0, None)], [])
                if caught:
                    self.assertEqual(result.exit_code, 1603)
                    self.assertEqual(calls, [])
                    self.assertEqual(case.products(self.codes),
                                     {code: (5, "9.1.030.0") for code in self.codes})
                else:
                    self.assert_patched(case, result)
                outcomes.append("caught" if caught else "after the hold")
                if caught:
                    break
        self.assertIn("caught", outcomes, outcomes)

    def test_nobody_can_delete_rename_or_replace_what_the_run_holds(self):
        with bench.Case(bench.base("candidates")) as case:
            case.host("C:\\logs").mkdir()
            package = f"{case.temp_dir}\\MSP2"
            logs = [f"C:\\logs\\sp_{self.products[k]['name']}.log" for k in ("en", "de")]
            held = [package, "C:\\logs\\sp.log"] + logs
            with case.beside("spswap", ["held", "120", logs[0]] + held, b"started") as output:
                result = case.servicepack("/q /log C:\\logs\\sp.log")
                time.sleep(0.5)
                lines = output.read_text(errors="replace").split("\n")[1:]
            attempts = [line.split() for line in lines if line.strip()]
            # What succeeded once the package was gone may have come after the run ended.
            late = {int(fields[1]): fields[0] for fields in attempts if fields[3:] == ["late"]}
            attempts = [fields[:3] for fields in attempts if fields[3:] != ["late"]]
            self.assert_patched(case, result)
            # A run log renamed late holds the whole run under its new name; one deleted or
            # replaced late is gone.
            run_log_path = {None: "C:\\logs\\sp.log",
                            "rename": "C:\\logs\\sp.log.moved"}.get(late.get(1))
            run_log = None
            if run_log_path:
                self.assertTrue(case.host(run_log_path).exists(), (late, attempts[-8:]))
                run_log = case.host(run_log_path).read_bytes()
                self.assertTrue(run_log.endswith(b"exit code 0\r\n"),
                                (run_log[-300:], attempts[-8:]))
            for index, path in enumerate(held):
                mine = [(what, int(code)) for what, i, code in attempts if int(i) == index]
                refused = [(what, code) for what, code in mine if code != 0]
                if index >= 2 and not refused and run_log is not None:
                    # The first attempt may land between the log's creation and its hold
                    # (it is closed and opened again with the sharing Windows Installer
                    # needs): the run then gives that log up and says so.
                    self.assertIn(f"no log: {path} is not a plain file of its own".encode(),
                                  run_log, (path, mine[:6]))
                    continue
                self.assertTrue(refused, f"{path}: no attempt fell inside the hold: {mine[:6]}")
                # Every attempt fails while the file is held: the run log all along; the
                # package until the run lets go of it right before deleting it (an attempt
                # may take it in that moment, or find it gone); a product's log once the
                # product is done. A path once taken is not tried again.
                self.assertEqual({code for _, code in refused} - {2, 5, 32}, set(), path)
                if index == 1:
                    self.assertNotIn(0, [code for _, code in mine], path)
            # Gone, or the racer's own empty file, put there once the run let go of it.
            left = case.host(package)
            if left.exists():
                self.assertEqual(left.stat().st_size, 0)
                self.assertIn(["replace", "0", "0"], attempts)

    def test_a_log_path_that_is_a_link_or_a_folder_is_not_written_through(self):
        with bench.Case(bench.base("candidates")) as case:
            victim = case.host("C:\\victim.txt")
            victim.write_bytes(b"someone else's file")
            en_log = case.host(f"{case.temp_dir}\\{self.products['en']['name']}.log")
            de_log = case.host(f"{case.temp_dir}\\{self.products['de']['name']}.log")
            os.symlink(victim, en_log)
            de_log.mkdir()
            result = case.servicepack("/q")
            self.assert_patched(case, result)
            self.assertEqual(victim.read_bytes(), b"someone else's file")
            self.assertTrue(en_log.is_symlink())
            self.assertTrue(de_log.is_dir())
            # Logging is off for both: mode 0 and no file.
            self.assertEqual([(c.args[0], c.args[1]) for c in
                              result.installer_calls("MsiEnableLogW")], [(0, 0), (0, 0)])


if __name__ == "__main__":
    unittest.main()
