"""What the installer hands Windows Installer, under Wine: the package it carries,
whatever another process tries meanwhile; a package path the PATCH property cannot
misread; and logs that are only files."""

import os
import re
import unittest

import bench


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
            # attempt may succeed (and put a file back), so successes may only close the list.
            refused = [a for a in attempts if a[2] != "0"]
            succeeded = [i for i, a in enumerate(attempts) if a[2] == "0"]
            self.assertTrue(refused, f"no attempt fell inside the hold: {attempts[:10]}")
            self.assertEqual(succeeded, list(range(len(attempts) - len(succeeded), len(attempts))),
                             attempts[:10])
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
