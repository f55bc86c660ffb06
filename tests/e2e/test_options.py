"""The administrators' options under Wine: /norestart, /passive, /quiet and /qn, and help."""

import re
import unittest

import bench

UPGRADE = "9.1.031.0"
SUPPRESS = " REBOOT=ReallySuppress"
PROGRESS_ONLY = 0x63  # INSTALLUILEVEL_BASIC | INSTALLUILEVEL_PROGRESSONLY | INSTALLUILEVEL_HIDECANCEL


class Options(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.products = {p["key"]: p for p in bench.samples()["products"]}
        cls.patched = [cls.products[key]["code"] for key in ("en", "de")]

    def assert_finished(self, result, exit_code):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, exit_code)

    def reconfigurations(self, result):
        return [(c.args[0].text, c.args[3].text) for c in
                result.installer_calls("MsiConfigureProductExW")]

    def installer_calls(self, result):
        """The calls that change what Windows Installer does, with their arguments."""
        return [(c.function, [a.text if isinstance(a, bench.WString) else a for a in c.args])
                for c in result.calls
                if c.function in ("msi.MsiSetInternalUI", "msi.MsiEnableLogW",
                                  "msi.MsiConfigureProductExW", "msi.MsiQueryProductStateW")]

    def assert_patched(self, case):
        self.assertEqual(case.products(self.patched), {code: (5, UPGRADE) for code in self.patched})

    def test_norestart_ends_both_command_lines_with_the_suppression(self):
        with bench.Case(bench.base("candidates")) as case:
            result = case.servicepack("/norestart")
            self.assert_finished(result, 0)
            package = case.temp_dir + "\\MSP2"
            en, de = self.patched
            self.assertEqual(self.reconfigurations(result), [
                (en, bench.first_command_line(package, bench.message(1033, 302)) + SUPPRESS),
                (en, bench.second_command_line(package) + SUPPRESS),
                (de, bench.first_command_line(package, bench.message(1031, 302)) + SUPPRESS),
                (de, bench.second_command_line(package) + SUPPRESS),
            ])
            # Only the restart changes: the installer's interface and the boxes stay.
            self.assertEqual(result.installer_calls("MsiSetInternalUI"), [])
            self.assertEqual([b.caption for b in result.boxes],
                             [bench.message(1033, 312), bench.message(1031, 312)])
            self.assert_patched(case)

    def test_passive_shows_progress_only_and_no_box_of_its_own(self):
        with bench.Case(bench.base("candidates")) as case:
            result = case.servicepack("/passive")
            self.assert_finished(result, 0)
            installer = [c.function for c in result.calls if c.function.startswith("msi.")]
            self.assertEqual(installer[0], "msi.MsiSetInternalUI")
            self.assertEqual([c.args[0] for c in result.installer_calls("MsiSetInternalUI")],
                             [PROGRESS_ONLY])
            self.assertEqual(result.boxes, [])
            self.assertEqual(len(self.reconfigurations(result)), 4)
            self.assert_patched(case)

    def test_quiet_wins_over_passive(self):
        with bench.Case(bench.base("none")) as case:
            for arguments in ("/passive /q", "/QN /Passive"):
                with self.subTest(arguments=arguments):
                    result = case.servicepack(arguments)
                    self.assert_finished(result, 1642)
                    self.assertEqual(
                        [c.args[0] for c in result.installer_calls("MsiSetInternalUI")], [2])
                    self.assertEqual(result.boxes, [])

    def test_quiet_and_qn_make_the_calls_of_q(self):
        runs = {}
        for arguments in ("/q", "/quiet", "/qn"):
            with bench.Case(bench.base("candidates")) as case:
                result = case.servicepack(arguments)
                self.assert_finished(result, 0)
                self.assertEqual(result.boxes, [], arguments)
                self.assert_patched(case)
                runs[arguments] = self.installer_calls(result)
        self.assertEqual(runs["/q"][0], ("msi.MsiSetInternalUI", [2, 0]))
        self.assertEqual(len([c for c in runs["/q"] if c[0] == "msi.MsiConfigureProductExW"]), 4)
        self.assertEqual(runs["/quiet"], runs["/q"])
        self.assertEqual(runs["/qn"], runs["/q"])

    def test_help_is_one_box_and_nothing_else(self):
        english = bench.catalogue()[1033]
        help_text = "\n".join(english[id] for id in range(316, 320) if english[id])
        with bench.Case(bench.base("candidates")) as case:
            for arguments in ("/?", "/HELP", "/q /h", "/h /e C:\\x.msp"):
                with self.subTest(arguments=arguments):
                    result = case.servicepack(arguments)
                    self.assert_finished(result, 0)
                    self.assertEqual(len(result.boxes), 1)
                    box = result.boxes[0]
                    self.assertEqual((box.caption, box.style), ("Service Pack", 0x50040))
                    # The trace keeps only the first 300 or so characters of a text.
                    self.assertTrue(box.truncated)
                    self.assertGreater(len(box.text), len(english[316]) + 100)
                    self.assertTrue(help_text.startswith(box.text), box.text)
                    self.assertEqual([c.function for c in result.calls
                                      if c.function.startswith("msi.")], [])
                    self.assertEqual([path for path in result.written
                                      if re.search(r"\\MSP\d+$", path) or path == "C:\\x.msp"],
                                     [])
            self.assertEqual(len(self.reconfigurations(case.servicepack("/q"))), 4)


if __name__ == "__main__":
    unittest.main()
