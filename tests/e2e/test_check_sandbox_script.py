"""servicepack-check-sandbox.cmd under Wine's cmd: in a folder whose name holds what cmd
reads specially, and in a drive's root, it writes the configuration the build renders for that
folder, makes a new report folder each run, and stops when a file is missing. Wine has no
Windows Sandbox: every run ends with the note that it is not enabled (exit code 1).

Wine's cmd differs from Windows' in two ways the folder names here avoid: it reads percent
signs and exclamation marks in an expanded value again, and writes files in the ANSI code page
whatever `chcp` says, so no name here holds %, ! or a letter beyond ASCII."""

import os
import pathlib
import shutil
import subprocess
import sys
import unittest

import bench

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import check_sandbox as cs  # noqa: E402

SCRIPT = pathlib.Path(os.environ["SP_CHECK_CMD"])
PRODUCTS = os.environ["SP_CHECK_PRODUCT_NAMES"].split("|")
FOLDER = "Release candidate & (SP2) ^ 1;2=3, it's"


class Script(unittest.TestCase):
    def setUp(self):
        self.case = bench.Case(bench.base("none"))

    def tearDown(self):
        self.case.close()

    def folder(self, host):
        """A folder as a release engineer copies it: the script, the two programs, the products
        (their contents do not matter: nothing runs them here)."""
        host.mkdir(parents=True)
        shutil.copyfile(SCRIPT, host / cs.CMD)
        for name in [cs.PACK, cs.CHECK, *PRODUCTS]:
            (host / name).write_bytes(b"MZ")
        return host

    def run_script(self, host_cwd, script):
        """(exit code, output) of `cmd /c <script>`, with no input (pause returns at once)."""
        output = self.case.dir / "script.out"
        with open(output, "wb") as out:
            result = subprocess.run(["wine", "cmd", "/c", script], cwd=host_cwd,
                                    env=bench.wine_environment(self.case.prefix),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                    timeout=120)
        return result.returncode, output.read_bytes().decode("ascii", "replace")

    def test_a_folder_with_cmd_characters_in_its_name(self):
        host = self.folder(self.case.drive_c / FOLDER)
        windows = f"C:\\{FOLDER}"
        for number in (1, 2):
            with self.subTest(run=number):
                code, output = self.run_script(host, cs.CMD)
                self.assertEqual(code, 1, output)
                self.assertIn("Windows Sandbox is not enabled", output)
                self.assertIn(f'"{windows}\\{cs.WSB}" is written', output)
                wsb = (host / cs.WSB).read_bytes()
                self.assertEqual(wsb, cs.wsb_text(windows, PRODUCTS, number).encode("ascii"))
                folders = cs.read_configuration(wsb.decode("ascii"), PRODUCTS)
                self.assertEqual(folders[cs.SANDBOX_FILES], (windows, True))
                self.assertEqual(folders[cs.SANDBOX_REPORT],
                                 (f"{windows}-report-{number}", False))
                self.assertTrue((self.case.drive_c / f"{FOLDER}-report-{number}").is_dir())

    def test_a_drive_root(self):
        host = self.folder(self.case.dir / "stick")
        (self.case.prefix / "dosdevices" / "y:").symlink_to(host)
        code, output = self.run_script(host, f"Y:\\{cs.CMD}")
        self.assertEqual(code, 1, output)
        wsb = (host / cs.WSB).read_bytes().decode("ascii")
        self.assertEqual(wsb.lower(), cs.wsb_text("Y:\\", PRODUCTS).lower())
        cs.read_configuration(wsb, PRODUCTS)
        self.assertTrue((host / "servicepack-check-report-1").is_dir())

    def test_a_missing_file_stops_it(self):
        host = self.folder(self.case.drive_c / FOLDER)
        (host / PRODUCTS[-1]).unlink()
        code, output = self.run_script(host, cs.CMD)
        self.assertEqual(code, 1, output)
        self.assertIn(f'"C:\\{FOLDER}\\{PRODUCTS[-1]}" is missing', output)
        self.assertFalse((host / cs.WSB).exists())
        self.assertFalse((self.case.drive_c / f"{FOLDER}-report-1").exists())


if __name__ == "__main__":
    unittest.main()
