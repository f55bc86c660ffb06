"""DLLs planted beside the program under the names of system DLLs, as in a Downloads
folder: the program loads none of them and does what it does without them.

The plants are one test DLL (tools/bench/spplant.cpp) that leaves a marker file
C:\\planted-<name>-<what>.txt when it is loaded and when one of its installer
functions is called. msi.dll is what the program loads itself; mspatcha.dll is
loaded by msi.dll, uxtheme.dll by user32.dll when a message box is shown. None is
a KnownDLL on Windows, so Windows takes each from the program's folder when it is
asked for by name alone; the override makes Wine do the same with a DLL file it
finds, where it would otherwise use its built-in DLL. A control program that loads
them with plain LoadLibraryW shows that each plant is loaded in that setting.
"""

import unittest

import bench

PLANTED = ("msi.dll", "mspatcha.dll", "uxtheme.dll")
OVERRIDES = "msi,mspatcha,uxtheme=n,b"
UPGRADE = "9.1.031.0"


class PlantedDll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.codes = {p["key"]: p["code"] for p in bench.samples()["products"]}

    def markers(self, case):
        return sorted(p.name for p in case.drive_c.glob("planted-*"))

    def plant(self, case):
        """Plants the DLLs in C:\\sp and shows with the control that each is loaded there."""
        for name in PLANTED:
            case.put(bench.build_dir() / "tools" / "spplant.dll", f"C:\\sp\\{name}")
        case.put(bench.build_dir() / "tools" / "spload.exe", "C:\\sp\\spload.exe")
        control = case.run("C:\\sp\\spload.exe", " ".join(PLANTED), trace=False,
                           dll_overrides=OVERRIDES)
        self.assertEqual(control.exit_code, 0)
        for name in PLANTED:
            self.assertIn(f"{name} C:\\sp\\{name}", control.stdout)
        self.assertEqual(self.markers(case), sorted(
            [f"planted-{name}-DllMain.txt" for name in PLANTED]
            + [f"planted-{name}-MsiGetSummaryInformationW.txt" for name in PLANTED]))
        for marker in case.drive_c.glob("planted-*"):
            marker.unlink()

    def outcome(self, case, result):
        """What a run did, as far as a user and an administrator can see it."""
        self.assertFalse(result.timed_out, "the run did not return on its own")
        return {
            "exit code": result.exit_code,
            "boxes": [(b.text, b.caption, b.style) for b in result.boxes],
            "reconfigurations": [(c.args[0].text, c.args[3].text) for c in
                                 result.installer_calls("MsiConfigureProductExW")],
            "products": case.products([self.codes[key] for key in case.info["products"]]),
        }

    def assert_same_runs(self, base, arguments):
        """Runs the program with each argument text in a plain copy of `base` and in a
        copy with the plants; returns the plain outcomes once the planted ones match."""
        plain_outcomes, planted_outcomes = [], []
        with bench.Case(bench.base(base)) as plain, bench.Case(bench.base(base)) as planted:
            self.plant(planted)
            for text in arguments:
                plain_outcomes.append(self.outcome(plain, plain.servicepack(text)))
                result = planted.servicepack(text, dll_overrides=OVERRIDES)
                self.assertEqual(self.markers(planted), [], f"run with {text!r}")
                planted_outcomes.append(self.outcome(planted, result))
        for text, plain_outcome, planted_outcome in zip(arguments, plain_outcomes,
                                                        planted_outcomes):
            self.assertEqual(planted_outcome, plain_outcome, f"run with {text!r}")
        return dict(zip(arguments, plain_outcomes))

    def test_install_and_list_on_all_products(self):
        outcomes = self.assert_same_runs("all", ["", "/i"])
        install = outcomes[""]
        self.assertEqual(install["exit code"], 1642)
        self.assertEqual(len(install["boxes"]), 3)
        self.assertEqual(len(install["reconfigurations"]), 4)
        self.assertEqual([state for state, _ in install["products"].values()], [5] * 4)
        self.assertEqual(sorted(version for _, version in install["products"].values()),
                         ["9.0.020.0", UPGRADE, UPGRADE, UPGRADE])
        listed = outcomes["/i"]
        self.assertEqual(listed["exit code"], 0)
        self.assertEqual([(caption, style) for _, caption, style in listed["boxes"]],
                         [("List of Products", 0x50000)])

    def test_quiet_install_on_the_candidates(self):
        quiet = self.assert_same_runs("candidates", ["/q"])["/q"]
        self.assertEqual(quiet["exit code"], 0)
        self.assertEqual(quiet["boxes"], [])
        self.assertEqual(len(quiet["reconfigurations"]), 4)
        self.assertEqual({version for _, version in quiet["products"].values()}, {UPGRADE})


if __name__ == "__main__":
    unittest.main()
