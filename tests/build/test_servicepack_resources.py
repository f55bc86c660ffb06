"""The build refuses service-pack inputs that would ship a broken installer."""

import contextlib
import io
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import servicepack_resources as spr  # noqa: E402

CODES = "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C01};{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C02}"
NOTE = b"PatchSuffix=SP1\r\nProductVersionCandidate=9.1.030.0\r\nProductVersionUpgrade=9.1.031.0"


class Inputs(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp())
        self.package = self.make_package(CODES)
        self.notes = self.dir / "notes"
        self.notes.mkdir()
        (self.notes / "206.txt").write_bytes(NOTE)

    def make_package(self, codes, name="p.msp"):
        path = self.dir / name
        subprocess.run(["msibuild", str(path), "-s", "t", "Corvane", codes,
                        "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3CFF}"], check=True)
        return path

    def check(self, upgrade="9.1.031.0", candidates="9.1.030.0,", notes=None, package=None):
        return spr.check_inputs(str(package or self.package), upgrade, candidates,
                                str(self.notes) if notes is None else notes)

    def assertRefused(self, fragment, **inputs):
        with self.assertRaises(spr.InputError) as caught:
            self.check(**inputs)
        self.assertIn(fragment, str(caught.exception))

    def test_sound_inputs_pass(self):
        notes, warnings = self.check()
        self.assertEqual([n.name for n in notes], ["206.txt"])
        self.assertEqual(warnings, [])
        self.assertEqual(self.check(notes="")[0], [])

    def test_package_must_be_a_compound_file(self):
        fake = self.dir / "fake.msp"
        fake.write_bytes(b"MZ" + bytes(100))
        self.assertRefused("D0 CF 11 E0 A1 B1 1A E1", package=fake)
        self.assertRefused("does not exist", package=self.dir / "missing.msp")

    def test_package_must_name_a_target_product(self):
        for codes in ("", ";{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C01}"):
            with self.subTest(codes=codes):
                self.assertRefused("names no target product",
                                   package=self.make_package(codes, "empty.msp"))

    def test_versions_are_four_fields_of_16_bits(self):
        for bad in ("9.1.31", "9.1.31.65536", "a.b.c.d", " 9.1.31.0", "9.1.31.0,", "9,1,31,0",
                    "9.1.31.0.1", ""):
            with self.subTest(version=bad):
                self.assertRefused("is not a version", upgrade=bad)
        self.check(upgrade="65535.0.000.65535")

    def test_candidate_list_ends_with_a_comma(self):
        self.assertRefused("must end with ','", candidates="9.1.030.0")
        self.assertRefused("must end with ','", candidates="")
        self.assertRefused("is not a version", candidates="9.1.030.0,,")
        self.assertRefused("is not a version", candidates="9.1.030,")
        self.assertEqual(self.check(candidates="9.1.029.0,9.1.030.0,")[1], [])

    def test_upgrade_among_candidates_warns(self):
        _, warnings = self.check(candidates="9.1.030.0,9.1.031.0,")
        self.assertEqual(len(warnings), 1)
        self.assertIn("9.1.031.0", warnings[0])

    def test_notes_start_at_206_without_a_gap(self):
        (self.notes / "208.txt").write_bytes(NOTE)
        self.assertRefused("without a gap", notes=str(self.notes))
        (self.notes / "207.txt").write_bytes(NOTE)
        self.assertEqual(len(self.check()[0]), 3)
        (self.notes / "206.txt").unlink()
        self.assertRefused("without a gap")
        (self.notes / "readme.txt").write_bytes(NOTE)
        self.assertRefused("named by its id")
        self.assertRefused("does not exist", notes=str(self.dir / "none"))

    def test_note_is_key_value_lines_joined_by_crlf(self):
        for bad in (b"", NOTE + b"\r\n", NOTE.replace(b"\r\n", b"\n"), b"PatchSuffix = SP1",
                    b"PatchSuffix= SP1", b"=SP1", b"PatchSuffix\r\nA=B", b"A=B\r\n\r\nC=D",
                    "Suffix=SP\u00e9".encode("latin-1")):
            with self.subTest(note=bad):
                (self.notes / "206.txt").write_bytes(bad)
                with self.assertRaises(spr.InputError):
                    self.check()

    def test_main_writes_the_resource_script_or_explains_the_refusal(self):
        output = self.dir / "sp.rc"
        root = pathlib.Path(spr.__file__).resolve().parents[1] / "resources"
        args = ["--package", str(self.package), "--upgrade-version", "9.1.031.0",
                "--candidate-versions", "9.1.030.0,", "--notes-dir", str(self.notes),
                "--manifest", str(root / "manifest.xml"), "--catalogue", str(root / "catalogue"),
                "--output", str(output)]
        self.assertEqual(spr.main(args), 0)
        script = output.read_text(encoding="utf-8")
        self.assertIn(f'IDR_MSP_TB MSP "{self.package.resolve()}"', script)
        self.assertIn(f'206 TXT "{(self.notes / "206.txt").resolve()}"', script)
        self.assertIn('700 "9.1.031.0"', script)
        self.assertIn('900 "9.1.030.0,"', script)
        self.assertEqual(script.count("STRINGTABLE"), 15)

        output.unlink()
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors):
            self.assertEqual(spr.main(args[:3] + ["9.1.31"] + args[4:]), 1)
        self.assertIn("service pack input error: upgrade version '9.1.31'", errors.getvalue())
        self.assertFalse(output.exists())


class Catalogue(unittest.TestCase):
    """The string tables: what every language must keep of the English text."""

    def setUp(self):
        root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, root)
        self.dir = pathlib.Path(root) / "catalogue"
        source = pathlib.Path(spr.__file__).resolve().parents[1] / "resources" / "catalogue"
        shutil.copytree(source, self.dir)

    def replace(self, language, id, text):
        path = next(self.dir.glob(f"{language}-*.rc"))
        lines = path.read_text(encoding="utf-8").splitlines(keepends=True)
        lines = [f'  {id} "{text}"\n' if line.lstrip().startswith(f"{id} ") else line
                 for line in lines]
        path.write_text("".join(lines), encoding="utf-8")

    def test_shipped_catalogue_passes(self):
        spr.check_catalogue(self.dir)
        english = spr.catalogue_entries(self.dir / "1033-english.rc")
        self.assertEqual(sorted(english), [300, 301, 302] + list(range(306, 320)))
        self.assertIn('"Append the service packs onto the deployment"', english[315])
        self.assertEqual(english[319].count("\n"), 2)

    def test_translations_keep_the_english_line_feeds_and_conversions(self):
        for language, id, text, fragment in [
                (1031, 317, "/passive: nur Statusanzeige.", "line feeds"),
                (1041, 300, "エラー コード:\\n\\n %s", "conversions"),
                (1049, 301, "%s %s", "conversions"),
                (1033, 318, "/log <file>\\n/e [file]\\n", "line feeds"),
        ]:
            with self.subTest(language=language, id=id):
                self.setUp()
                self.replace(language, id, text)
                with self.assertRaises(spr.InputError) as caught:
                    spr.check_catalogue(self.dir)
                self.assertIn(fragment, str(caught.exception))

    def test_help_texts_have_no_conversion_and_fit_255_characters(self):
        line = "/log <file>: " + "x" * 100 + "\\n/e [file]: "
        for language, text, fragment in [
                (1033, line + "y" * 131, "256 characters"),
                (1036, line + "%d" + "y" * 50, "'%'"),
                (2052, "", "lacks help string 318"),
        ]:
            with self.subTest(language=language, text=text[-10:]):
                self.setUp()
                self.replace(language, 318, text)
                with self.assertRaises(spr.InputError) as caught:
                    spr.check_catalogue(self.dir)
                self.assertIn(fragment, str(caught.exception))
        self.setUp()
        self.replace(1049, 318, line + "y" * 130)
        spr.check_catalogue(self.dir)

    def test_a_missing_string_or_english_table_is_refused(self):
        path = self.dir / "1045-polish.rc"
        path.write_text(path.read_text(encoding="utf-8").replace("  310 ", "  399 "),
                        encoding="utf-8")
        with self.assertRaisesRegex(spr.InputError, "1045-polish.rc lacks string 310"):
            spr.check_catalogue(self.dir)
        (self.dir / "1033-english.rc").unlink()
        with self.assertRaisesRegex(spr.InputError, "no English"):
            spr.check_catalogue(self.dir)


if __name__ == "__main__":
    unittest.main()
