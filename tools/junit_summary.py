#!/usr/bin/env python3
"""Publishes a JUnit XML report (servicepack-check.exe's report.xml) in a GitHub Actions job:
a table of every test case in the job's summary (the file GITHUB_STEP_SUMMARY names; standard
output when it is not set), report.txt from the same folder below it, and an error annotation
for each failed case.

    junit_summary.py <report.xml>

Exit code 0 when the report was read, whatever it says (the check's own exit code fails the
job); 1 when it is missing, is not JUnit XML or holds no test case.
"""

import os
import pathlib
import sys
import xml.etree.ElementTree as ET


def cases_of(root):
    """(result, name, message) of every test case, in the report's order."""
    if root.tag not in ("testsuites", "testsuite"):
        raise ValueError(f"the root element is <{root.tag}>, not <testsuites> or <testsuite>")
    cases = []
    for case in root.iter("testcase"):
        name = case.get("name") or "(unnamed)"
        if case.get("classname"):
            name = f"{case.get('classname')}: {name}"
        result, message = "PASS", ""
        for tag, word in (("failure", "FAIL"), ("error", "FAIL"), ("skipped", "SKIP")):
            found = case.find(tag)
            if found is not None:
                result = word
                message = found.get("message") or (found.text or "").strip()
                break
        cases.append((result, name, message))
    return cases


def cell(text):
    """One Markdown table cell: the first line, with its bars escaped."""
    lines = text.strip().splitlines()
    return (lines[0] if lines else "").replace("|", "\\|")


def annotation(text):
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


def annotation_property(text):
    return annotation(text).replace(":", "%3A").replace(",", "%2C")


def summary(cases, report_text):
    counts = {word: sum(1 for c in cases if c[0] == word) for word in ("PASS", "FAIL", "SKIP")}
    lines = [f"## servicepack-check: {counts['PASS']} passed, {counts['FAIL']} failed, "
             f"{counts['SKIP']} skipped", "", "| Result | Check | Message |", "|---|---|---|"]
    lines += [f"| {result} | {cell(name)} | {cell(message)} |" for result, name, message in cases]
    if report_text is not None:
        lines += ["", "<details><summary>report.txt</summary>", "", "```",
                  report_text.rstrip().replace("```", "'''"), "```", "", "</details>"]
    return "\n".join(lines) + "\n", counts


def write_summary(text):
    target = os.environ.get("GITHUB_STEP_SUMMARY")
    if target:
        with open(target, "a", encoding="utf-8") as out:
            out.write(text)
    else:
        sys.stdout.write(text)


def main(argv):
    if len(argv) != 2:
        print("usage: junit_summary.py <report.xml>", file=sys.stderr)
        return 1
    path = pathlib.Path(argv[1])
    try:
        cases = cases_of(ET.parse(path).getroot())
        if not cases:
            raise ValueError("it holds no test case")
    except (OSError, ET.ParseError, ValueError) as error:
        write_summary(f"## servicepack-check: no report\n\n{path} could not be read: {error}\n")
        print(f"::error title=servicepack-check report::{annotation(f'{path}: {error}')}")
        return 1
    report_txt = path.with_name("report.txt")
    report_text = (report_txt.read_text(encoding="utf-8", errors="replace")
                   if report_txt.is_file() else None)
    text, counts = summary(cases, report_text)
    write_summary(text)
    for result, name, message in cases:
        if result == "FAIL":
            print(f"::error title={annotation_property(name)}::{annotation(message or name)}")
    print(f"{path}: {counts['PASS']} PASS, {counts['FAIL']} FAIL, {counts['SKIP']} SKIP")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
