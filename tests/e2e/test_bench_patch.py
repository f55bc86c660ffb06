"""The sample patch really moves the sample products under Wine's Windows Installer,
with the two reconfiguration command lines the service pack uses."""

import unittest

import bench

CLOSE_TEXT = "The following applications should be closed before continuing the install:"


class SamplePatch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = {p["key"]: p for p in cls.samples["products"]}

    def configure(self, case, code, command_line):
        return int(case.run_tool("msptool", ["configure", code, command_line]).split()[-1])

    def test_candidates_reach_the_upgrade_version(self):
        with bench.Case(bench.base("candidates")) as case:
            package = case.put(bench.build_dir() / "samples" / "sample.msp", "C:\\sp\\sample.msp")
            codes = [self.products[k]["code"] for k in ("en", "de")]
            self.assertEqual(case.products(codes),
                             {code: (5, "9.1.030.0") for code in codes})
            for code in codes:
                self.assertEqual(
                    self.configure(case, code, bench.first_command_line(package, CLOSE_TEXT)), 0)
                self.assertEqual(
                    self.configure(case, code, bench.second_command_line(package)), 0)
            self.assertEqual(case.products(codes),
                             {code: (5, self.samples["upgradeVersion"]) for code in codes})

    def test_failing_patch_returns_1603_and_changes_nothing(self):
        with bench.Case(bench.base("candidates")) as case:
            package = case.put(bench.build_dir() / "samples" / "failing.msp", "C:\\sp\\failing.msp")
            code = self.products["en"]["code"]
            self.assertEqual(
                self.configure(case, code, bench.first_command_line(package, CLOSE_TEXT)), 1603)
            self.assertEqual(case.products([code]), {code: (5, "9.1.030.0")})

    def test_base_prefixes_hold_their_products(self):
        expected = {"none": [], "candidates": ["en", "de"], "uptodate": ["fr"],
                    "all": ["en", "de", "fr", "legacy"]}
        codes = [p["code"] for p in self.products.values()]
        for name, keys in expected.items():
            with self.subTest(base=name), bench.Case(bench.base(name)) as case:
                states = case.products(codes)
                for key, product in self.products.items():
                    installed = key in keys
                    self.assertEqual(states[product["code"]],
                                     (5, product["version"]) if installed else (-1, ""))


if __name__ == "__main__":
    unittest.main()
