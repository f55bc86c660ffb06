"""Failures a real machine produces, under Wine: the program reports them, exits with
a code that says so, returns on its own and leaves no half-written file."""

import unittest

import bench

ABSENT_MAKER = "Tōkai Söftware"  # the maker's name servicepack-absent.exe is built with


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = {p["key"]: p for p in cls.samples["products"]}

    def assert_returned(self, result, exit_code):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, exit_code)

    def test_tmp_naming_a_regular_file(self):
        with bench.Case(bench.base("candidates")) as case:
            case.host("C:\\afile").write_bytes(b"not a folder")
            result = case.servicepack(env={"TMP": "C:\\afile"})
            self.assert_returned(result, 3)
            self.assertEqual([b.text for b in result.boxes], [bench.message(1033, 300, 3)])
            self.assertEqual(result.installer_calls("MsiConfigureProductExW"), [])
            quiet = case.servicepack("/q /e", env={"TMP": "C:\\afile"})
            self.assert_returned(quiet, 3)
            self.assertEqual(quiet.boxes, [])
            for run in (result, quiet):
                self.assertEqual(run.written, {})
            self.assertEqual(case.host("C:\\afile").read_bytes(), b"not a folder")

    def test_extract_to_a_drive_that_does_not_exist(self):
        with bench.Case(bench.base("none")) as case:
            for arguments in ("/e Q:\\sp.msp", "/q /e Q:\\sp.msp"):
                result = case.servicepack(arguments)
                self.assertFalse(result.timed_out)
                # Wine says "file not found" (2) where Windows says "path not found" (3).
                self.assertIn(result.exit_code, (2, 3))
                self.assertEqual(result.boxes, [])
                self.assertEqual(result.written, {})

    def test_package_naming_only_products_that_are_not_installed(self):
        with bench.Case(bench.base("all")) as case:
            result = case.servicepack(exe="servicepack-absent.exe")
            self.assert_returned(result, 1642)
            text = bench.message(1033, 307, exe="servicepack-absent.exe")
            self.assertIn(f"the expected {ABSENT_MAKER} product could not be located", text)
            self.assertEqual([(b.text, b.caption) for b in result.boxes],
                             [(text, bench.message(1033, 311))])
            quiet = case.servicepack("/q", exe="servicepack-absent.exe")
            self.assert_returned(quiet, 1642)
            self.assertEqual(quiet.boxes, [])
            self.assertEqual(quiet.installer_calls("MsiConfigureProductExW"), [])

    def test_product_listed_twice_is_handled_twice(self):
        with bench.Case(bench.base("candidates")) as case:
            result = case.servicepack("/q", exe="servicepack-twice.exe")
            self.assert_returned(result, 0)
            en = self.products["en"]
            self.assertEqual([c.args[0].text for c in result.installer_calls(
                "MsiConfigureProductExW")], [en["code"]] * 4)
            logs = [c.args[1].text for c in result.installer_calls("MsiEnableLogW")]
            self.assertEqual(logs, [f"{case.temp_dir}\\{en['name']}.log"] * 2)
            self.assertEqual(case.products([en["code"]]),
                             {en["code"]: (5, self.samples["upgradeVersion"])})
            self.assertEqual(result.boxes, [])


if __name__ == "__main__":
    unittest.main()
