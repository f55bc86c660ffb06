"""The Windows Sandbox files the build writes: servicepack-check.example.wsb is the
configuration Windows Sandbox reads (mapped folders with Windows paths, the logon command that
runs the check on the configured products), servicepack-check-sandbox.cmd writes the same one,
and the reader refuses a configuration with any of a table of mistakes."""

import os
import pathlib
import re
import sys
import unittest

import buildtree

sys.path.insert(0, str(buildtree.ROOT / "tools"))
import check_sandbox as cs  # noqa: E402

EXAMPLE = pathlib.Path(os.environ["SP_CHECK_EXAMPLE"])
SCRIPT = pathlib.Path(os.environ["SP_CHECK_CMD"])
PRODUCTS = os.environ["SP_CHECK_PRODUCT_NAMES"].split("|")


def written_by_script(script, host, report):
    """The text the script's echo lines write, for the given folders: carets outside quotes
    dropped, as cmd reads them."""
    lines = []
    for line in script.splitlines():
        match = re.fullmatch(r'>>?"!wsb!" echo (.*)', line)
        if not match:
            continue
        parts = match.group(1).split('"')
        for index in range(0, len(parts), 2):
            parts[index] = re.sub(r"\^(.)", r"\1", parts[index])
        text = '"'.join(parts)
        lines.append(text.replace("!host_xml!", host).replace("!report_xml!", report))
    return "\r\n".join(lines) + "\r\n"


class Files(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.example = EXAMPLE.read_bytes().decode("utf-8")

    def test_the_example_maps_c_check_and_runs_the_check_on_the_products(self):
        self.assertEqual(cs.read_configuration(self.example, PRODUCTS), {
            cs.SANDBOX_FILES: ("C:\\check", True),
            cs.SANDBOX_REPORT: ("C:\\check-report-1", False)})

    def test_the_script_writes_the_same_configuration(self):
        data = SCRIPT.read_bytes()
        self.assertTrue(data.isascii())
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "a line without CR LF")
        script = data.decode("ascii")
        self.assertEqual(written_by_script(script, "C:\\check", "C:\\check-report-1"),
                         self.example)
        self.assertEqual(script.count('"!wsb!" echo '), self.example.count("\n"))
        for name in [cs.PACK, cs.CHECK, *PRODUCTS]:
            self.assertIn(f'"{name}"', script.split("for %%f in (", 1)[1].split(")", 1)[0])

    def test_mistakes_are_refused(self):
        def replace(old, new):
            def mutate(text):
                self.assertIn(old, text)
                return text.replace(old, new, 1)
            return mutate

        def without(tag):
            return lambda text: re.sub(f"<{tag}>.*?</{tag}>\r\n", "", text, count=1, flags=re.S)

        rows = [
            ("no HostFolder", without("HostFolder"), "not one each of"),
            ("a Unix path", replace("C:\\check<", "/home/release/check<"),
             "not an absolute Windows path"),
            ("a relative path", replace("C:\\check<", "check<"), "not an absolute Windows path"),
            ("the backslash of %~dp0 kept", replace("C:\\check<", "C:\\check\\<"),
             "ends with a backslash"),
            ("the files writable", replace("<ReadOnly>true<", "<ReadOnly>false<"),
             "read-only and"),
            ("ReadOnly neither true nor false", replace("<ReadOnly>true<", "<ReadOnly>yes<"),
             "not true or false"),
            ("a misspelt element", lambda text: text.replace("LogonCommand>", "LogonCmd>"),
             "does not read"),
            ("no logon command", without("LogonCommand"), "has 0 <LogonCommand>"),
            ("no command in it", without("Command"), "something else than one <Command>"),
            ("a product left out", replace(f'"{cs.SANDBOX_FILES}\\{PRODUCTS[-1]}" ', ""),
             "the logon command runs"),
            ("no report folder for the check", replace(f' --report "{cs.SANDBOX_REPORT}"', ""),
             "the logon command runs"),
            ("the sandbox folder on a share",
             replace(f"{cs.SANDBOX_REPORT}</Sandbox", "\\\\host\\share</Sandbox"),
             "not an absolute Windows path of a folder on a drive"),
            ("one host folder twice", replace("C:\\check-report-1<", "C:\\check<"),
             "the report folder is"),
            ("the network on", replace("<Networking>Disable<", "<Networking>Enable<"),
             "not Disable"),
            ("not XML", replace("</Configuration>", ""), "not XML"),
        ]
        for what, mutate, refusal in rows:
            with self.subTest(what):
                text = mutate(self.example)
                self.assertNotEqual(text, self.example)
                with self.assertRaises(cs.Refused) as caught:
                    cs.read_configuration(text, PRODUCTS)
                self.assertIn(refusal, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
