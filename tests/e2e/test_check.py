"""The release check, servicepack-check.exe, under Wine on a virtual display (its
interactive run and "/i" need boxes that are real windows): against the sample pack
and baseline products of its own it passes, against the pack whose patch fails it
fails and names the product, and on a machine that already has a target it stops
with 2 and changes nothing."""

import pathlib
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET

import bench

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import virtual_display  # noqa: E402

WAIT = 120  # the check's --timeout: each of its waits
LIMIT = 900  # seconds for one whole check
FOLDER = "C:\\check"
REPORT = FOLDER + "\\report"
BASELINES = ["check_en.msi", "check_de.msi"]
GERMAN = "Corvane Check Studio Deutsch"


class Check(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = virtual_display.VirtualDisplay()
        cls.addClassCleanup(cls.display.stop)
        cls.codes = [p["code"] for p in bench.samples()["products"] if p["key"] in ("en", "de")]

    def check(self, case, pack, baselines=BASELINES):
        """Runs the check on `pack` and the baselines; (exit code, report lines, report.xml root
        or None)."""
        for name in (pack, "servicepack-check.exe"):
            case.put(bench.build_dir() / name, f"{FOLDER}\\{name}")
        for name in baselines:
            case.put(bench.build_dir() / "samples" / name, f"{FOLDER}\\{name}")
        env = bench.wine_environment(case.prefix, {"DISPLAY": self.display.name})
        subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                        "/d", "N", "/f"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=True)
        command = " ".join([f"{FOLDER}\\servicepack-check.exe", f"{FOLDER}\\{pack}"] +
                           [f"{FOLDER}\\{name}" for name in baselines] +
                           ["--report", REPORT, "--timeout", str(WAIT)])
        env["SPEXIT_COMMAND_LINE"] = command
        out_path = case.dir / "check.out"
        started = time.monotonic()
        with open(out_path, "wb") as out:
            process = subprocess.Popen(["wine", f"{bench.BENCH_DIR}\\spexit.exe"],
                                       cwd=case.host(FOLDER), env=env, stdout=out,
                                       stderr=subprocess.DEVNULL)
            try:
                process.wait(timeout=LIMIT)
            except subprocess.TimeoutExpired:
                bench.stop_wineserver(case.prefix, kill=True)
                process.wait()
                self.fail(f"the check did not end within {LIMIT} s")
        said = out_path.read_text(errors="replace")
        print(f"check of {pack}: {time.monotonic() - started:.0f} s\n{said}", file=sys.stderr)
        codes = [line[5:] for line in said.splitlines() if line.startswith("exit=")]
        self.assertEqual(len(codes), 1, said)
        text = case.host(REPORT + "\\report.txt")
        lines = text.read_text(encoding="utf-8").splitlines() if text.exists() else []
        xml = case.host(REPORT + "\\report.xml")
        root = ET.parse(xml).getroot() if xml.exists() else None
        return int(codes[0]), [line.split("\t") for line in lines], root

    def results(self, lines):
        return {fields[1]: fields[0] for fields in lines}

    def assert_junit_agrees(self, root, lines):
        self.assertEqual(root.tag, "testsuites")
        cases = {c.get("name"): {child.tag for child in c} for c in root.iter("testcase")}
        self.assertEqual(len(cases), len(lines))
        for fields in lines:
            expected = {"FAIL": "failure", "SKIP": "skipped"}.get(fields[0], "system-out")
            self.assertEqual(cases.get(fields[1]), {expected}, fields)
        self.assertEqual(int(root.get("failures")), sum(f[0] == "FAIL" for f in lines))

    def test_the_sample_pack_passes_every_check(self):
        # One baseline, the German one: its boxes come in German. (With both, Wine cannot
        # remove the second product; see the next test.)
        with bench.Case(bench.base("none")) as case:
            code, lines, root = self.check(case, "servicepack.exe", ["check_de.msi"])
            results = self.results(lines)
            self.assertEqual([f for f in lines if f[0] == "FAIL"], [])
            self.assertEqual(code, 0)
            self.assert_junit_agrees(root, lines)
            for name in ("pack.languages", "pack.targets", "run1.exit-code",
                         f"run1.{GERMAN}.version", "run2.reconfigurations", "extract.package",
                         "patch-list.records", "list.box", "run3.boxes", "run3.other-windows",
                         "run4.exit-code", f"cleanup.{GERMAN}.remove"):
                self.assertEqual(results.get(name), "PASS", name)
            boxes = next(f for f in lines if f[1] == "run3.boxes")
            self.assertIn("Installation erfolgreich", boxes[3])
            # Wine runs no task as SYSTEM; the source-gone run is a finding.
            self.assertEqual(results.get("system.run"), "SKIP")
            self.assertEqual(results.get("run5.source-gone"), "INFO")
            self.assertEqual(case.products(self.codes), {c: (-1, "") for c in self.codes})

    def test_with_two_baselines_wine_cannot_remove_the_second_patched_product(self):
        # Both products got the same patch; once Wine has removed the first, removing the
        # second returns 1647 (ERROR_UNKNOWN_PATCH) both ways. Every other check passes.
        with bench.Case(bench.base("none")) as case:
            code, lines, root = self.check(case, "servicepack.exe")
            self.assertEqual(code, 1)
            self.assert_junit_agrees(root, lines)
            failed = [f for f in lines if f[0] == "FAIL"]
            self.assertEqual([f[1] for f in failed],
                             [f"run{n}.baselines.{GERMAN}.install" for n in (3, 4, 5)] +
                             [f"cleanup.{GERMAN}.remove"])
            for fields in failed:
                self.assertIn("MsiConfigureProductExW absent: 1647", fields[3])
            results = self.results(lines)
            for product in ("Corvane Check Studio", GERMAN):
                self.assertEqual(results.get(f"run1.{product}.version"), "PASS", product)

    def test_the_pack_whose_patch_fails_fails_and_names_each_product(self):
        with bench.Case(bench.base("none")) as case:
            code, lines, root = self.check(case, "servicepack-failing.exe")
            results = self.results(lines)
            self.assertEqual(code, 1)
            self.assert_junit_agrees(root, lines)
            self.assertEqual(results.get("run1.exit-code"), "FAIL")
            for product in ("Corvane Check Studio", "Corvane Check Studio Deutsch"):
                self.assertEqual(results.get(f"run1.{product}.version"), "FAIL", product)
            self.assertEqual(results.get("interactive.run"), "SKIP")
            self.assertEqual(case.products(self.codes), {c: (-1, "") for c in self.codes})

    def test_a_target_already_installed_stops_with_2_and_changes_nothing(self):
        with bench.Case(bench.base("candidates")) as case:
            before = case.products(self.codes)
            code, lines, root = self.check(case, "servicepack.exe")
            self.assertEqual(code, 2)
            self.assertEqual(self.results(lines).get("machine.targets-absent"), "FAIL")
            self.assertIsNotNone(root)
            self.assertEqual(case.products(self.codes), before)
            self.assertFalse(case.host(REPORT + "\\run1").exists())


if __name__ == "__main__":
    unittest.main()
