"""The bench sees what a program shows, calls, writes and returns, and stops a hang."""

import unittest

import bench


class Bench(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.case = bench.Case(bench.base("none"))
        cls.probe = cls.case.put(bench.build_dir() / "tools" / "spprobe.exe", "C:\\probe\\spprobe.exe")

    @classmethod
    def tearDownClass(cls):
        cls.case.close()

    def test_sees_boxes_calls_files_and_the_full_exit_code(self):
        result = self.case.run(
            self.probe,
            '"box" "Grüße \\"zwei\\"" "Прогноз" 0x50010 box "" "" 0 '
            'log C:\\logs\\p.log write C:\\a.txt x exit 70000')

        self.assertFalse(result.timed_out)
        self.assertEqual(result.exit_code, 70000)
        self.assertEqual([(b.text, b.caption, b.style) for b in result.boxes],
                         [('Grüße "zwei"', "Прогноз", 0x50010), ("", "", 0)])
        logs = result.installer_calls("MsiEnableLogW")
        self.assertEqual(len(logs), 1)
        self.assertEqual(logs[0].args[0], 0x1000)
        self.assertEqual(logs[0].args[1].text, "C:\\logs\\p.log")
        self.assertEqual(logs[0].args[2], 0)
        self.assertIn("C:\\a.txt", result.written)
        self.assertEqual(result.written["C:\\a.txt"].read_bytes(), "x".encode("utf-16-le"))

    def test_exit_codes_above_255_are_whole(self):
        for code in (1603, 4294967295):
            with self.subTest(code=code):
                self.assertEqual(self.case.run(self.probe, f"exit {code}", trace=False).exit_code,
                                 code)

    def test_passes_environment_variables_on_the_windows_side(self):
        result = self.case.run(self.probe, "env TMP C:\\env.txt",
                               env={"TMP": "C:\\elsewhere"})
        self.assertEqual(result.written["C:\\env.txt"].read_bytes().decode("utf-16-le"),
                         "C:\\elsewhere")

    def test_a_hang_is_stopped_at_the_timeout(self):
        result = self.case.run(self.probe, "hang", timeout=8)
        self.assertTrue(result.timed_out)
        self.assertIsNone(result.exit_code)
        self.assertLess(result.seconds, 20)


class RelayParsing(unittest.TestCase):
    def test_decodes_wine_debug_strings(self):
        calls = bench.parse_relay(
            '0024:Call user32.MessageBoxW(00000000,00404054 L"Hi \\00fc\\n\\"q\\" \\\\x",'
            '00404044 L"Cap, tion",00050010) ret=004015ec\n'
            '0024:Ret  user32.MessageBoxW() retval=ffffffff ret=004015ec\n'
            '0024:Call msi.MsiEnableLogW(00001000,00404054 L"' + "a" * 280 + '"...,00000000) '
            'ret=004015ec\n')
        self.assertEqual(calls[0].args[1].text, 'Hi ü\n"q" \\x')
        self.assertEqual(calls[0].args[2].text, "Cap, tion")
        self.assertEqual(calls[0].retval, 0xFFFFFFFF)
        self.assertTrue(calls[1].args[1].truncated)
        self.assertFalse(calls[0].args[1].truncated)


if __name__ == "__main__":
    unittest.main()
