"""Install mode under Wine: the sample service pack applied to the sample products."""

import unittest

import bench

UPGRADE = "9.1.031.0"


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = {p["key"]: p for p in cls.samples["products"]}
        cls.codes = [p["code"] for p in cls.samples["products"]]

    def code(self, key):
        return self.products[key]["code"]

    def boxes(self, result):
        return [(b.text, b.caption, b.style) for b in result.boxes]

    def reconfigurations(self, result):
        return [(c.args[0].text, c.args[3].text) for c in
                result.installer_calls("MsiConfigureProductExW")]

    def assert_finished(self, result, exit_code):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, exit_code)

    def test_all_products_patches_the_candidates_and_reports_each_in_its_language(self):
        with bench.Case(bench.base("all")) as case:
            result = case.servicepack()
            self.assert_finished(result, 1642)

            en, de, legacy = (self.products[k]["name"] for k in ("en", "de", "legacy"))
            self.assertEqual(self.boxes(result), [
                (bench.message(1033, 301, en), bench.message(1033, 312), 0x50040),
                (bench.message(1031, 301, de), bench.message(1031, 312), 0x50040),
                (bench.message(1033, 308, legacy), bench.message(1033, 311), 0x50010),
            ])
            package = case.temp_dir + "\\MSP2"
            self.assertEqual(self.reconfigurations(result), [
                (self.code("en"), bench.first_command_line(package, bench.message(1033, 302))),
                (self.code("en"), bench.second_command_line(package)),
                (self.code("de"), bench.first_command_line(package, bench.message(1031, 302))),
                (self.code("de"), bench.second_command_line(package)),
            ])
            logs = [c.args[1].text for c in result.installer_calls("MsiEnableLogW")]
            self.assertEqual(logs, [f"{case.temp_dir}\\{self.products[k]['name']}.log"
                                    for k in ("en", "de", "fr", "legacy")])
            for key in ("en", "de"):
                log = result.written[f"{case.temp_dir}\\{self.products[key]['name']}.log"]
                self.assertGreater(log.stat().st_size, 0)
            self.assertFalse(case.host(package).exists())
            self.assertEqual(case.products(self.codes), {
                self.code("en"): (5, UPGRADE), self.code("de"): (5, UPGRADE),
                self.code("fr"): (5, UPGRADE), self.code("legacy"): (5, "9.0.020.0")})

    def test_candidates_are_patched_once_then_up_to_date(self):
        with bench.Case(bench.base("candidates")) as case:
            first = case.servicepack("/q")
            self.assert_finished(first, 0)
            self.assertEqual(first.boxes, [])
            self.assertEqual(len(self.reconfigurations(first)), 4)
            self.assertEqual(case.products([self.code("en"), self.code("de")]),
                             {self.code("en"): (5, UPGRADE), self.code("de"): (5, UPGRADE)})

            second = case.servicepack()
            self.assert_finished(second, 0)
            self.assertEqual(self.reconfigurations(second), [])
            self.assertEqual(self.boxes(second), [
                (bench.message(1033, 306, self.products["de"]["name"]), bench.message(1033, 313),
                 0x50010)])
            self.assertFalse(case.host(case.temp_dir + "\\MSP3").exists())

    def test_a_product_already_up_to_date(self):
        with bench.Case(bench.base("uptodate")) as case:
            result = case.servicepack()
            self.assert_finished(result, 0)
            self.assertEqual(self.boxes(result), [
                (bench.message(1033, 306, self.products["fr"]["name"]), bench.message(1033, 313),
                 0x50010)])
            self.assertEqual(self.reconfigurations(result), [])
            quiet = case.servicepack("/q")
            self.assert_finished(quiet, 0)
            self.assertEqual(quiet.boxes, [])

    def test_no_targeted_product_installed(self):
        with bench.Case(bench.base("none")) as case:
            result = case.servicepack()
            self.assert_finished(result, 1642)
            self.assertEqual(self.boxes(result), [
                (bench.message(1033, 307), bench.message(1033, 311), 0x50010)])
            # The package stays behind after a run that stopped before the products.
            self.assertTrue(case.host(case.temp_dir + "\\MSP2").exists())
            quiet = case.servicepack("/q")
            self.assert_finished(quiet, 1642)
            self.assertEqual(quiet.boxes, [])

    def test_failing_patch_reports_1603_after_one_call_per_product(self):
        with bench.Case(bench.base("candidates")) as case:
            result = case.servicepack(exe="servicepack-failing.exe")
            self.assert_finished(result, 1603)
            self.assertEqual(
                [code for code, _ in self.reconfigurations(result)],
                [self.code("en"), self.code("de")])
            failed = (bench.message(1033, 300, 1603), bench.message(1033, 311), 0x50010)
            failed_de = (bench.message(1031, 300, 1603), bench.message(1031, 311), 0x50010)
            # Without "/q" Windows Installer shows the patch's own error first.
            installer = ("This sample patch fails on purpose.", "", 0)
            self.assertEqual(self.boxes(result), [installer, failed, installer, failed_de])
            quiet = case.servicepack("/q", exe="servicepack-failing.exe")
            self.assert_finished(quiet, 1603)
            self.assertEqual(quiet.boxes, [])
            self.assertEqual(case.products([self.code("en")]), {self.code("en"): (5, "9.1.030.0")})

    def test_a_product_the_patch_carries_no_transform_for_is_not_reported_patched(self):
        # The Legacy product is a candidate of this pack; the patch lists it but has no
        # transform for it, and Wine's installer returns 0 without changing it.
        with bench.Case(bench.base("all")) as case:
            result = case.servicepack(exe="servicepack-legacy.exe")
            self.assert_finished(result, 1603)
            en, de = (self.products[k]["name"] for k in ("en", "de"))
            self.assertEqual(self.boxes(result), [
                (bench.message(1033, 301, en), bench.message(1033, 312), 0x50040),
                (bench.message(1031, 301, de), bench.message(1031, 312), 0x50040),
                (bench.message(1033, 300, 1603), bench.message(1033, 311), 0x50010),
            ])
            calls = result.installer_calls("MsiConfigureProductExW")
            self.assertEqual([(c.args[0].text, c.retval) for c in calls][4:],
                             [(self.code("legacy"), 0), (self.code("legacy"), 0)])
            self.assertEqual(case.products([self.code("legacy")]),
                             {self.code("legacy"): (5, "9.0.020.0")})

            case.host("C:\\logs").mkdir()
            quiet = case.servicepack("/q /log C:\\logs\\sp.log", exe="servicepack-legacy.exe")
            self.assert_finished(quiet, 1603)
            lines = case.host("C:\\logs\\sp.log").read_text(encoding="utf-8").splitlines()
            legacy = self.code("legacy")
            self.assertTrue(any(line.endswith(f"product {legacy} version after 9.0.020.0: "
                                              "not patched") for line in lines), lines)
            self.assertTrue(lines[-1].endswith("exit code 1603"), lines[-1])

    def test_transforms_the_installer_skips_are_not_reported_patched(self):
        # Validation flags 0x0922, as patch tools write them: Wine 8 skips such a
        # transform and reports success.
        with bench.Case(bench.base("candidates")) as case:
            result = case.servicepack(exe="servicepack-validated.exe")
            self.assert_finished(result, 1603)
            self.assertEqual(self.boxes(result), [
                (bench.message(1033, 300, 1603), bench.message(1033, 311), 0x50010),
                (bench.message(1031, 300, 1603), bench.message(1031, 311), 0x50010),
            ])
            calls = result.installer_calls("MsiConfigureProductExW")
            self.assertEqual([c.retval for c in calls], [0, 0, 0, 0])
            self.assertEqual(case.products([self.code("en"), self.code("de")]), {
                self.code("en"): (5, "9.1.030.0"), self.code("de"): (5, "9.1.030.0")})

    def test_quiet_makes_the_same_changes_without_any_box(self):
        with bench.Case(bench.base("all")) as case:
            result = case.servicepack("/q")
            self.assert_finished(result, 1642)
            self.assertEqual(result.boxes, [])
            self.assertEqual(len(self.reconfigurations(result)), 4)
            self.assertEqual([c.args[0] for c in result.installer_calls("MsiSetInternalUI")], [2])
            self.assertEqual(case.products([self.code("en"), self.code("de")]),
                             {self.code("en"): (5, UPGRADE), self.code("de"): (5, UPGRADE)})
            self.assertFalse(case.host(case.temp_dir + "\\MSP2").exists())


if __name__ == "__main__":
    unittest.main()
