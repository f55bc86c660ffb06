"""'/e' under Wine: the package where the administrator asks for it, or nothing at all."""

import unittest

import bench


class Extract(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.package = bench.sample_patch().read_bytes()

    def setUp(self):
        self.case = bench.Case(bench.base("none"))

    def tearDown(self):
        self.case.close()

    def assert_quietly_done(self, result, exit_code=0):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, exit_code)
        self.assertEqual(result.boxes, [])

    def test_writes_the_package_to_the_given_path(self):
        for arguments in ("/e C:\\out\\sp.msp", "/q /e C:\\out\\sp.msp"):
            self.case.host("C:\\out").mkdir(exist_ok=True)
            result = self.case.servicepack(arguments)
            self.assert_quietly_done(result)
            self.assertEqual(self.case.host("C:\\out\\sp.msp").read_bytes(), self.package)
            self.assertEqual(sorted(result.written), ["C:\\out\\sp.msp"])
        self.assertTrue(self.package.startswith(bytes.fromhex("D0CF11E0A1B11AE1")))

    def test_without_a_path_writes_the_first_temporary_name(self):
        result = self.case.servicepack("/e")
        self.assert_quietly_done(result)
        self.assertEqual(self.case.host(self.case.temp_dir + "\\MSP2").read_bytes(), self.package)
        # Each run starts counting again; MSP2 is taken now.
        quiet = self.case.servicepack("/q /e")
        self.assert_quietly_done(quiet)
        self.assertEqual(self.case.host(self.case.temp_dir + "\\MSP3").read_bytes(), self.package)

    def test_taken_temporary_names_are_skipped(self):
        for name in ("MSP2", "MSP3"):
            self.case.host(f"{self.case.temp_dir}\\{name}").write_bytes(b"mine")
        result = self.case.servicepack("/q /e")
        self.assert_quietly_done(result)
        self.assertEqual(self.case.host(self.case.temp_dir + "\\MSP4").read_bytes(), self.package)
        self.assertEqual(self.case.host(self.case.temp_dir + "\\MSP2").read_bytes(), b"mine")

    def test_tmp_naming_another_folder_is_used(self):
        self.case.host("C:\\elsewhere").mkdir()
        for arguments, name in (("/e", "MSP2"), ("/q /e", "MSP3")):
            result = self.case.servicepack(arguments, env={"TMP": "C:\\elsewhere"})
            self.assert_quietly_done(result)
            self.assertEqual(self.case.host(f"C:\\elsewhere\\{name}").read_bytes(), self.package)

    def test_a_longer_file_is_replaced_whole(self):
        self.case.host("C:\\sp.msp").write_bytes(b"x" * (len(self.package) * 3))
        result = self.case.servicepack("/q /e C:\\sp.msp")
        self.assert_quietly_done(result)
        self.assertEqual(self.case.host("C:\\sp.msp").read_bytes(), self.package)

    def test_a_path_that_cannot_take_the_package_changes_nothing(self):
        self.case.host("C:\\folder.msp").mkdir()
        (self.case.host("C:\\folder.msp") / "inside.txt").write_bytes(b"kept")
        for arguments, exit_code in (("/e C:\\missing\\sp.msp", 3), ("/q /e C:\\folder.msp", 5)):
            with self.subTest(arguments=arguments):
                result = self.case.servicepack(arguments)
                self.assert_quietly_done(result, exit_code)
                self.assertEqual(result.written, {})
        self.assertEqual((self.case.host("C:\\folder.msp") / "inside.txt").read_bytes(), b"kept")

    def test_a_target_in_use_is_kept(self):
        self.case.host("C:\\sp.msp").write_bytes(b"in use")
        with self.case.holding("C:\\sp.msp"):
            result = self.case.servicepack("/q /e C:\\sp.msp")
        self.assertFalse(result.timed_out)
        self.assertNotEqual(result.exit_code, 0)
        self.assertEqual(self.case.host("C:\\sp.msp").read_bytes(), b"in use")
        self.assertEqual([p for p in result.written if p.startswith("C:\\sp.msp")], [])

    def test_the_token_after_e_is_its_path(self):
        result = self.case.servicepack("/e /q")
        self.assert_quietly_done(result)
        self.assertEqual(self.case.host("C:\\q").read_bytes(), self.package)
        self.case.host("C:\\q").unlink()
        quiet = self.case.servicepack("/q /e /q")
        self.assert_quietly_done(quiet)
        self.assertEqual(self.case.host("C:\\q").read_bytes(), self.package)


if __name__ == "__main__":
    unittest.main()
