"""Message boxes on a real display (Xvfb): each is a window that waits for the user
until closed, and a quiet run shows no window at all."""

import pathlib
import subprocess
import sys
import time
import unittest

import bench

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import virtual_display  # noqa: E402

RUN_TIMEOUT = 45  # seconds for one run, under emulated Wine too
WAITS_FOR_USER = 1.0  # how long a shown box must keep the run waiting


class Run:
    """servicepack.exe started in a case through the bench's launcher, on the display."""

    def __init__(self, case, display, arguments):
        self.case = case
        program = "C:\\sp\\servicepack.exe"
        if not case.host(program).exists():
            case.put(bench.build_dir() / "servicepack.exe", program)
        case.runs += 1
        self.out_path = case.dir / f"run{case.runs}.out"
        env = bench.wine_environment(case.prefix, {
            "DISPLAY": display.name,
            "SPEXIT_COMMAND_LINE": f"{program} {arguments}" if arguments else program,
        })
        with open(self.out_path, "wb") as out:
            self.process = subprocess.Popen(["wine", f"{bench.BENCH_DIR}\\spexit.exe"],
                                            cwd=case.drive_c, env=env, stdout=out,
                                            stderr=subprocess.DEVNULL)
        self.deadline = time.monotonic() + RUN_TIMEOUT

    def running(self):
        if self.process.poll() is not None:
            return False
        if time.monotonic() > self.deadline:
            bench.stop_wineserver(self.case.prefix, kill=True)
            self.process.wait()
            raise AssertionError(f"the run did not end within {RUN_TIMEOUT} s")
        return True

    def exit_code(self):
        while self.running():
            time.sleep(0.1)
        for line in self.out_path.read_text(errors="replace").splitlines():
            if line.startswith("exit="):
                return int(line[5:])
        raise AssertionError(f"the launcher reported no exit code: {self.out_path.read_text()}")


class Display(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = virtual_display.VirtualDisplay()
        cls.addClassCleanup(cls.display.stop)
        cls.products = [p["code"] for p in bench.samples()["products"] if p["key"] in ("en", "de")]

    def setUp(self):
        self.case = bench.Case(bench.base("candidates"))
        self.addCleanup(self.case.close)
        # Unmanaged windows: Wine draws the caption and gives the box the keyboard focus.
        # The first Wine process starts Wine's desktop, which keeps its display for the
        # case's lasting wineserver, so it gets the display too. No pipes: Wine's
        # services outlive the command.
        subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                        "/d", "N", "/f"],
                       env=bench.wine_environment(self.case.prefix, {"DISPLAY": self.display.name}),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT,
                       check=True)

    def watch(self, arguments):
        """Runs servicepack.exe and closes each window it shows with Return. Returns its
        exit code and, per window, the caption, whether the window was still shown after
        a while and whether the run was still waiting for it then."""
        run = Run(self.case, self.display, arguments)
        seen = []
        while run.running():
            for window in self.display.windows():
                caption = self.display.caption(window)
                if caption is None:
                    continue
                time.sleep(WAITS_FOR_USER)
                seen.append((caption, window in self.display.windows(), run.running()))
                self.display.press_return(window)
                deadline = time.monotonic() + 10
                while window in self.display.windows():
                    self.assertLess(time.monotonic(), deadline, "the window stayed after Return")
                    time.sleep(0.1)
            time.sleep(0.1)
        return run.exit_code(), seen

    def test_each_success_box_is_a_window_the_run_waits_on_until_it_is_closed(self):
        code, seen = self.watch("")
        self.assertEqual(code, 0)
        # English first (the first product the patch names), then German.
        self.assertEqual(seen, [(bench.message(1033, 312), True, True),
                                (bench.message(1031, 312), True, True)])
        self.assertEqual(self.display.windows(), [])

    def test_a_quiet_run_shows_no_window_while_it_patches(self):
        self.assertEqual(self.watch("/q"), (0, []))
        self.assertEqual(self.case.products(self.products),
                         {code: (5, bench.samples()["upgradeVersion"]) for code in self.products})
        # The same watch sees a box in this prefix: the help, which "/q" does not silence.
        self.assertEqual(self.watch("/q /?"), (0, [("Service Pack", True, True)]))


if __name__ == "__main__":
    unittest.main()
