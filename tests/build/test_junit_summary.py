"""tools/junit_summary.py, which publishes the release check's JUnit report on the Windows CI
runner: every case in the job's summary with its result, an annotation for each failure, and
a report it cannot read fails the step."""

import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

import buildtree

TOOL = buildtree.ROOT / "tools" / "junit_summary.py"
REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="4" failures="1" errors="1" skipped="1">
  <testsuite name="servicepack-check" tests="4">
    <testcase classname="run1" name="exit code"/>
    <testcase classname="run1" name="en.msi version">
      <failure message="expected 9.1.031.0, found 9.1.030.0">details</failure>
    </testcase>
    <testcase classname="interactive" name="boxes | captions"><skipped message="run1 returned 3010"/></testcase>
    <testcase classname="run2" name="log, ends: 50%"><error>no run log
second line</error></testcase>
  </testsuite>
</testsuites>
"""


def summarise(folder, report_xml, report_txt=None):
    folder = pathlib.Path(folder)
    path = folder / "report.xml"
    if report_xml is not None:
        path.write_text(report_xml, encoding="utf-8")
    if report_txt is not None:
        (folder / "report.txt").write_text(report_txt, encoding="utf-8")
    summary = folder / "summary.md"
    summary.unlink(missing_ok=True)
    result = subprocess.run([sys.executable, str(TOOL), str(path)], capture_output=True, text=True,
                            timeout=60, env=dict(os.environ, GITHUB_STEP_SUMMARY=str(summary)))
    return result.returncode, result.stdout, summary.read_text(encoding="utf-8")


class Summary(unittest.TestCase):
    def test_every_case_its_result_and_an_annotation_per_failure(self):
        with tempfile.TemporaryDirectory() as folder:
            code, out, summary = summarise(folder, REPORT, "PASS run1 exit code 0 0\n")
        self.assertEqual(code, 0, out)
        self.assertIn("## servicepack-check: 1 passed, 2 failed, 1 skipped", summary)
        for row in ("| PASS | run1: exit code |  |",
                    "| FAIL | run1: en.msi version | expected 9.1.031.0, found 9.1.030.0 |",
                    "| SKIP | interactive: boxes \\| captions | run1 returned 3010 |",
                    "| FAIL | run2: log, ends: 50% | no run log |"):
            self.assertIn(row + "\n", summary)
        self.assertIn("```\nPASS run1 exit code 0 0\n```", summary)
        self.assertEqual([line for line in out.splitlines() if line.startswith("::")], [
            "::error title=run1%3A en.msi version::expected 9.1.031.0, found 9.1.030.0",
            "::error title=run2%3A log%2C ends%3A 50%25::no run log%0Asecond line"])

    def test_a_report_it_cannot_read_fails(self):
        rows = [("missing", None), ("not XML", "<testsuites>"),
                ("not JUnit", "<report/>"), ("no case", "<testsuites><testsuite/></testsuites>")]
        for what, report in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                code, out, summary = summarise(folder, report)
                self.assertEqual(code, 1, out)
                self.assertIn("## servicepack-check: no report", summary)
                self.assertIn("::error title=servicepack-check report::", out)


if __name__ == "__main__":
    unittest.main()
