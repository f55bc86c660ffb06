"""Where nobody can see a window: started on a window station of its own, which Wine
makes without WSF_VISIBLE and where a message box waits for good (as in session 0 on
Windows), the service pack waits for nobody and ends as "/q" would."""

import unittest

import bench

LIMIT = 60  # seconds the launcher gives the service pack before it ends it
UNSEEN = ("spunseen", str(LIMIT))


class Unattended(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = [p["code"] for p in cls.samples["products"] if p["key"] in ("en", "de")]

    def run_unseen(self, case, arguments=""):
        result = case.servicepack(arguments, launcher=UNSEEN, timeout=LIMIT + 60)
        # What the test stands on: Wine reports the launcher's new station as not visible.
        self.assertIn("station-visible=0", result.stdout.splitlines())
        self.assertFalse(result.timed_out,
                         f"{arguments!r} still ran at the launcher's limit of {LIMIT} s")
        return result

    def interface_levels(self, result):
        return [c.args[0] for c in result.installer_calls("MsiSetInternalUI")]

    def installer_calls(self, result):
        return [(c.function, [a.text if isinstance(a, bench.WString) else a for a in c.args])
                for c in result.calls
                if c.function in ("msi.MsiSetInternalUI", "msi.MsiEnableLogW",
                                  "msi.MsiConfigureProductExW")]

    def test_no_targeted_product_ends_with_1642_and_no_box(self):
        with bench.Case(bench.base("none")) as case:
            for arguments in ("", "/passive"):
                with self.subTest(arguments=arguments):
                    result = self.run_unseen(case, arguments)
                    self.assertEqual(result.exit_code, 1642)
                    self.assertEqual(result.boxes, [])
                    self.assertEqual(self.interface_levels(result), [2])

    def test_the_sample_products_are_patched_with_the_exit_code_and_calls_of_q(self):
        with bench.Case(bench.base("candidates")) as case:
            case.host("C:\\logs").mkdir()
            result = self.run_unseen(case, "/log C:\\logs\\sp.log")
            self.assertEqual(result.boxes, [])
            upgrade = self.samples["upgradeVersion"]
            self.assertEqual(case.products(self.products),
                             {code: (5, upgrade) for code in self.products})
            start = case.host("C:\\logs\\sp.log").read_text(encoding="utf-8").splitlines()[0]
            self.assertTrue(start.endswith(
                "/log C:\\logs\\sp.log; no visible desktop: quiet (window station not visible); "
                "elevated"), start)
        with bench.Case(bench.base("candidates")) as case:
            # The same /log, so that the product logs stand at the same paths in both runs.
            case.host("C:\\logs").mkdir()
            quiet = case.servicepack("/q /log C:\\logs\\sp.log")
            self.assertFalse(quiet.timed_out)
        self.assertEqual(result.exit_code, quiet.exit_code)
        self.assertEqual(self.installer_calls(result), self.installer_calls(quiet))
        self.assertEqual(len(result.installer_calls("MsiConfigureProductExW")), 4)

    def test_the_help_and_the_list_end_with_0_and_no_box(self):
        with bench.Case(bench.base("candidates")) as case:
            for arguments in ("/?", "/i"):
                with self.subTest(arguments=arguments):
                    result = self.run_unseen(case, arguments)
                    self.assertEqual(result.exit_code, 0)
                    self.assertEqual(result.boxes, [])


if __name__ == "__main__":
    unittest.main()
