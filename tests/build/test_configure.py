"""Configuring the windows preset: it needs no Wine, wixl or msitools, it checks the
service pack's inputs, and a mistake stops `cmake` before anything is built, naming the
cache variable, its value and the rule, and leaving no servicepack.exe."""

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import buildtree

sys.path.insert(0, str(buildtree.ROOT / "tools"))
import servicepack_resources as spr  # noqa: E402

SAMPLE = buildtree.ROOT / "resources" / "sample"
CODES = "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C01}"
NOTE = "PatchSuffix=SP2\r\nProductVersionCandidate=9.1.031.0\r\nProductVersionUpgrade=9.1.032.0"
VARIABLES = ["SP_PATCH_PACKAGE", "SP_UPGRADE_VERSION", "SP_CANDIDATE_VERSIONS", "SP_NOTES_DIR",
             "SP_MAKER_NAME", "SP_SIGN_CERT", "SP_SIGN_KEY", "SP_SIGN_PKCS12",
             "SP_SIGN_PASSWORD_FILE", "SP_SIGN_TIMESTAMP_URL", "SP_SIGN_COMMAND", "SP_SIGN_CA"]


class Configure(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="spconfigure-"))
        cls.env = dict(os.environ, PATH=buildtree.path_without_wine(cls.dir / "bin"))
        cls.tree = cls.dir / "build"
        cls.inputs = cls.make_inputs(cls.dir / "inputs")
        code, output = buildtree.run(["cmake", "--preset", "windows", "-B", str(cls.tree)],
                                     env=cls.env)
        assert code == 0, output

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @staticmethod
    def make_inputs(folder):
        folder.mkdir()
        inputs = {"patch": folder / "sp2.msp", "directory": folder}
        shutil.copyfile(SAMPLE / "sample.msp", inputs["patch"])
        (folder / "readme.txt").write_text("not a package")
        inputs["text"] = folder / "readme.txt"
        for name, codes, class_id in (("product.msi", "Intel;1033", None),
                                      ("intel.msp", "Intel;1033", spr.PATCH_CLASS_ID)):
            path = folder / name
            subprocess.run(["msibuild", str(path), "-s", "t", "Corvane", codes, CODES],
                           check=True)
            if class_id:
                buildtree.set_root_class_id(path, class_id)
            inputs[name] = path
        for name, spoil in (("nosummary.msp", buildtree.hide_summary),
                            ("badsummary.msp", buildtree.spoil_summary)):
            inputs[name] = folder / name
            shutil.copyfile(SAMPLE / "sample.msp", inputs[name])
            spoil(inputs[name])
        inputs["huge"] = folder / "huge.msp"
        shutil.copyfile(SAMPLE / "sample.msp", inputs["huge"])
        with inputs["huge"].open("r+b") as f:
            f.truncate((1800 << 20) + 512)
        for name, notes in (("notes", {"206": NOTE}), ("gap", {"206": NOTE, "208": NOTE}),
                            ("blanks", {"206": NOTE.replace("=SP2", " = SP2")}),
                            ("other", {"206": NOTE.replace("9.1.032.0", "9.1.033.0")})):
            (folder / name).mkdir()
            for id, text in notes.items():
                (folder / name / f"{id}.txt").write_bytes(text.encode())
            inputs[name] = folder / name
        inputs["ca"], inputs["cert"], inputs["key"] = buildtree.make_certificate_authority(
            folder, "configure")
        return inputs

    def configure(self, **variables):
        """Configures the tree with every variable set: the given ones, the rest empty."""
        values = {"SP_MAKER_NAME": "Corvane", **variables}
        return buildtree.run(["cmake", "-B", str(self.tree), "-S", str(buildtree.ROOT)] +
                             [f"-D{name}={values.get(name, '')}" for name in VARIABLES],
                             env=self.env)

    def release(self, **variables):
        """A service pack of one's own, with the given variables changed."""
        return {"SP_PATCH_PACKAGE": self.inputs["patch"], "SP_UPGRADE_VERSION": "9.1.032.0",
                "SP_CANDIDATE_VERSIONS": "9.1.031.0,", "SP_NOTES_DIR": self.inputs["notes"],
                **variables}

    def test_mistakes_stop_the_configure(self):
        i = self.inputs
        cases = [
            ("SP_PATCH_PACKAGE", i["directory"] / "none.msp", "does not exist"),
            ("SP_PATCH_PACKAGE", i["directory"], "is not a readable file"),
            ("SP_PATCH_PACKAGE", i["text"], "is not a Windows Installer package"),
            ("SP_PATCH_PACKAGE", i["product.msi"], "is not a patch package: its root class id "
             "is {000C1084-0000-0000-C000-000000000046}, an installer database (.msi)"),
            ("SP_PATCH_PACKAGE", i["intel.msp"],
             "names no target product: its summary property 7 is 'Intel;1033'"),
            ("SP_PATCH_PACKAGE", i["nosummary.msp"], "has no summary information stream"),
            ("SP_PATCH_PACKAGE", i["badsummary.msp"],
             "has a summary information stream that cannot be read"),
            ("SP_PATCH_PACKAGE", i["huge"], "must load in a 32-bit process"),
            ("SP_UPGRADE_VERSION", "9.1.32", "is not a version of four dotted numbers"),
            ("SP_UPGRADE_VERSION", "9.1.65536.0", "is not a version of four dotted numbers"),
            ("SP_UPGRADE_VERSION", "", "needs both SP_UPGRADE_VERSION and SP_CANDIDATE_VERSIONS"),
            ("SP_CANDIDATE_VERSIONS", "2.0.4.0,;2.0.5.0,", "may hold only digits, dots and commas"),
            ("SP_CANDIDATE_VERSIONS", "9.1.030.0,9.1.031.0", "must end with ','"),
            ("SP_CANDIDATE_VERSIONS", "9.1.030.0,,", "holds '', which is not a version"),
            ("SP_CANDIDATE_VERSIONS", "", "needs both SP_UPGRADE_VERSION and"),
            ("SP_NOTES_DIR", i["gap"], "must number its notes from 206 without a gap"),
            ("SP_NOTES_DIR", i["blanks"], "line 1 'PatchSuffix = SP2' is not key=value"),
            ("SP_NOTES_DIR", i["directory"] / "none", "does not exist"),
            ("SP_MAKER_NAME", "100%", "must not hold '%'"),
            ("SP_MAKER_NAME", "x" * 58, "makes message 307 in German (Germany) (1031) 256 "
             "characters long, more than the 255 that are shown; it leaves room for a name of "
             "57 characters"),
            ("SP_SIGN_KEY", "", "SP_SIGN_KEY is empty: signing takes both SP_SIGN_CERT and",
             {"SP_SIGN_CERT": i["cert"]}),
            ("SP_SIGN_PASSWORD_FILE", "", "signing takes both SP_SIGN_PKCS12 and",
             {"SP_SIGN_PKCS12": i["cert"]}),
            ("SP_SIGN_CERT", i["directory"] / "none.pem", "does not exist",
             {"SP_SIGN_KEY": i["key"]}),
            ("SP_SIGN_COMMAND", "signtool", f"Sign in one way only; this build sets SP_SIGN_CERT "
             f"'{i['cert']}' and SP_SIGN_KEY '{i['key']}', SP_SIGN_COMMAND 'signtool'",
             {"SP_SIGN_CERT": i["cert"], "SP_SIGN_KEY": i["key"]}),
            ("SP_SIGN_TIMESTAMP_URL", "http://localhost:1/", "applies to signing with "
             "SP_SIGN_CERT or SP_SIGN_PKCS12"),
            ("SP_SIGN_TIMESTAMP_URL", "http://localhost:1/", "an SP_SIGN_COMMAND time-stamps",
             {"SP_SIGN_COMMAND": "signtool"}),
            ("SP_SIGN_CA", i["ca"], "is set, but nothing signs the service pack"),
        ]
        for variable, value, rule, *others in cases:
            with self.subTest(variable=variable, value=str(value)[:60], rule=rule):
                (self.tree / "servicepack.exe").write_bytes(b"an earlier build")
                code, output = self.configure(**self.release(**{variable: value},
                                                             **(others[0] if others else {})))
                self.assertNotEqual(code, 0, output)
                self.assertIn("CMake Error", output)
                self.assertIn(variable, output)
                if value:
                    self.assertIn(str(value), output)
                self.assertIn(rule, output)
                self.assertFalse((self.tree / "servicepack.exe").exists())

    def test_versions_without_a_package_are_refused(self):
        for variable in ("SP_UPGRADE_VERSION", "SP_CANDIDATE_VERSIONS", "SP_NOTES_DIR"):
            with self.subTest(variable=variable):
                code, output = self.configure(**{variable: self.release()[variable]})
                self.assertNotEqual(code, 0, output)
                self.assertIn(f"{variable} is '{self.release()[variable]}' but SP_PATCH_PACKAGE "
                              "is empty", output)

    def test_sound_inputs_configure_with_what_deserves_a_warning(self):
        upgrade_among = "service pack input warning: SP_CANDIDATE_VERSIONS: the upgrade version"
        cases = [
            ({}, "SP_PATCH_PACKAGE is empty: building the sample service pack from "
             "resources/sample (upgrade version 9.1.031.0, candidate versions 9.1.030.0,"),
            (self.release(), None),
            (self.release(SP_NOTES_DIR=""), 'SP_NOTES_DIR is empty: the service pack carries '
             'no deployment notes, and "/p" will show 310'),
            (self.release(SP_NOTES_DIR=self.inputs["other"]), "206.txt says "
             "ProductVersionUpgrade=9.1.033.0, which is not among the configured "
             "SP_UPGRADE_VERSION 9.1.032.0"),
            (self.release(SP_CANDIDATE_VERSIONS="9.1.031.0,9.1.32.0,"), upgrade_among),
            (self.release(SP_UPGRADE_VERSION="9.1.32.0", SP_MAKER_NAME="x" * 57), None),
        ]
        for variables, expected in cases:
            with self.subTest(variables=variables):
                code, output = self.configure(**variables)
                self.assertEqual(code, 0, output)
                if expected:
                    self.assertIn(expected, output)
                else:
                    self.assertNotIn("CMake Warning", output)

    def test_a_changed_package_is_checked_again_before_the_build(self):
        package = self.dir / "changing.msp"
        shutil.copyfile(self.inputs["patch"], package)
        code, output = self.configure(**self.release(SP_PATCH_PACKAGE=package))
        self.assertEqual(code, 0, output)
        for replacement, rule in ((self.inputs["product.msi"], "is not a patch package"),
                                  (None, "does not exist")):
            with self.subTest(rule=rule):
                (self.tree / "servicepack.exe").write_bytes(b"an earlier build")
                if replacement:
                    shutil.copyfile(replacement, package)
                else:
                    package.unlink()
                code, output = buildtree.run(["cmake", "--build", str(self.tree)], env=self.env)
                self.assertNotEqual(code, 0, output)
                self.assertIn(f"SP_PATCH_PACKAGE '{package}' {rule}", output)
                self.assertFalse((self.tree / "servicepack.exe").exists())
                self.assertEqual(list(self.tree.rglob("*.obj")), [], "something was built")

    def test_the_committed_release_presets_configure_as_they_stand(self):
        """releases/*.json, included from CMakePresets.json, each in a fresh tree."""
        included = json.loads((buildtree.ROOT / "CMakePresets.json").read_text())["include"]
        releases = [name for name in included if name.startswith("releases/")]
        self.assertEqual(sorted(releases), sorted(
            str(path.relative_to(buildtree.ROOT))
            for path in (buildtree.ROOT / "releases").glob("*.json")))
        for name in releases:
            for preset in json.loads((buildtree.ROOT / name).read_text())["configurePresets"]:
                with self.subTest(file=name, preset=preset["name"]):
                    tree = self.dir / preset["name"]
                    code, output = buildtree.run(["cmake", "--preset", preset["name"], "-B",
                                                  str(tree)], env=self.env)
                    self.assertEqual(code, 0, output)
                    self.assertNotIn("CMake Warning", output)
                    self.assertNotIn("building the sample service pack", output)
                    cache = (tree / "CMakeCache.txt").read_text()
                    for variable, value in preset["cacheVariables"].items():
                        value = value.replace("${sourceDir}", str(buildtree.ROOT))
                        self.assertRegex(cache, rf"(?m)^{variable}:\w+={re.escape(value)}$")
                    shutil.rmtree(tree)

    def test_the_interpreter_found_imports_olefile_and_pefile(self):
        """A python3 first on PATH that lacks them (here one without its site packages, on
        a developer's machine a pyenv shim) is passed over, and refused when named."""
        bare = self.dir / "bare"
        bare.mkdir()
        python = bare / "python3"
        python.write_text(f'#!/bin/sh\nexec {sys.executable} -S "$@"\n')
        python.chmod(0o755)
        env = dict(self.env, PATH=f"{bare}{os.pathsep}{self.env['PATH']}")
        cases = [([], 0, "Python for the tools and tests: "),
                 ([f"-DPython3_EXECUTABLE={python}"], 1, f"Python3_EXECUTABLE '{python}' does "
                  f"not import olefile and pefile")]
        for arguments, refused, expected in cases:
            with self.subTest(arguments=arguments):
                tree = self.dir / "interpreter"
                code, output = buildtree.run(["cmake", "--preset", "windows", "-B", str(tree)] +
                                             arguments, env=env)
                shutil.rmtree(tree)
                self.assertEqual(code != 0, bool(refused), output)
                self.assertIn(expected, output)
                if refused:
                    self.assertIn("No module named 'olefile'", output)
                else:
                    self.assertNotIn(f"tests: {python} ", output)
                    self.assertIn("(olefile ", output)

    def test_the_default_build_runs_no_wine_tool(self):
        code, output = self.configure()
        self.assertEqual(code, 0, output)
        commands = subprocess.run(["ninja", "-C", str(self.tree), "-t", "commands",
                                   "servicepack"], check=True, capture_output=True, text=True,
                                  env=self.env).stdout
        self.assertIn(str(SAMPLE / "sample.msp"), commands)
        self.assertIn("finish_servicepack.py", commands)
        self.assertIsNone(re.search(r"(^|[\s/])(wine|wixl|msptool)", commands, re.I | re.M))


if __name__ == "__main__":
    unittest.main()
