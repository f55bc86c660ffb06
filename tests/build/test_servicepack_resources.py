"""The build refuses service-pack inputs that would ship a broken installer."""

import contextlib
import io
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

import buildtree

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import servicepack_resources as spr  # noqa: E402

CODES = "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C01};{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C02}"
NOTE = b"PatchSuffix=SP1\r\nProductVersionCandidate=9.1.030.0\r\nProductVersionUpgrade=9.1.031.0"
CATALOGUE = pathlib.Path(spr.__file__).resolve().parents[1] / "resources" / "catalogue"
PATCH_CLASS = "{000C1086-0000-0000-C000-000000000046}"
PATCH_CODE = "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3CFF}"


class Inputs(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp())
        self.package = self.make_package(CODES)
        self.notes = self.dir / "notes"
        self.notes.mkdir()
        (self.notes / "206.txt").write_bytes(NOTE)

    def make_package(self, codes, name="p.msp", class_id=PATCH_CLASS, revision=PATCH_CODE):
        path = self.dir / name
        subprocess.run(["msibuild", str(path), "-s", "t", "Corvane", codes, revision],
                       check=True)
        if class_id:
            buildtree.set_root_class_id(path, class_id)
        return path

    def check(self, upgrade="9.1.031.0", candidates="9.1.030.0,", notes=None, package=None,
              maker="Corvane"):
        return spr.check_inputs(str(package or self.package), upgrade, candidates,
                                str(self.notes) if notes is None else notes, maker, CATALOGUE)

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

    def test_package_must_be_marked_as_a_patch(self):
        for class_id, fragment in (
                (None, "{000C1084-0000-0000-C000-000000000046}, an installer database (.msi)"),
                ("{000C1082-0000-0000-C000-000000000046}",
                 "{000C1082-0000-0000-C000-000000000046}, a transform (.mst)"),
                ("{12345678-0000-0000-C000-000000000046}",
                 "{12345678-0000-0000-C000-000000000046}, no Windows Installer package")):
            with self.subTest(class_id=class_id):
                package = self.make_package(CODES, "other.msp", class_id)
                self.assertRefused(f"is not a patch package: its root class id is {fragment}; "
                                   f"a patch package's is {PATCH_CLASS}", package=package)
        truncated = self.dir / "truncated.msp"
        truncated.write_bytes(self.package.read_bytes()[:300])
        self.assertRefused("is not a Windows Installer package (its compound file header is cut "
                           "short)", package=truncated)

    def test_package_must_be_a_readable_file(self):
        self.assertRefused("is not a readable file", package=self.dir)

    def test_package_must_name_a_target_product(self):
        one, two = CODES.split(";")
        for codes in ("", f";{one}", "Intel;1033", f"{one};", f"{one}{two}", f"{one}; {two}",
                      one.strip("{}"), one.replace("C01}", "C0G}"), one.replace("02-5", "0-25")):
            with self.subTest(codes=codes):
                self.assertRefused(f"names no target product: its summary property 7 is {codes!r}",
                                   package=self.make_package(codes, "empty.msp"))
        for codes in (one.lower(), f"{one};{two.lower()}"):
            with self.subTest(codes=codes):
                self.check(package=self.make_package(codes, "good.msp"))

    def test_package_must_have_a_readable_summary_with_a_patch_code(self):
        hidden, spoiled = (self.make_package(CODES, name) for name in ("hidden.msp", "bad.msp"))
        buildtree.hide_summary(hidden)
        buildtree.spoil_summary(spoiled)
        cases = [(hidden, "has no summary information stream"),
                 (spoiled, "has a summary information stream that cannot be read (Error while "
                  "parsing properties header")]
        for number, revision in enumerate((
                "", PATCH_CODE + "x", PATCH_CODE.strip("{}"), f"{PATCH_CODE};{PATCH_CODE}",
                PATCH_CODE.replace("CFF}", "CF}"))):
            cases.append((self.make_package(CODES, f"code{number}.msp", revision=revision),
                          f"has no patch code: its summary property 9 is {revision!r}, not"))
        for package, fragment in cases:
            with self.subTest(package=package.name, fragment=fragment):
                self.assertRefused(fragment, package=package)
        # The patch's own code first, then those of the patches it obsoletes.
        obsoleting = self.make_package(CODES, "obsoleting.msp",
                                       revision=PATCH_CODE + CODES.replace(";", ""))
        self.check(package=obsoleting)
        self.assertEqual(spr.patch_code(spr.read_summary(obsoleting)), PATCH_CODE)

    def test_package_must_fit_a_32_bit_process(self):
        limit = 1800 << 20
        for size, refused in ((limit, False), (limit + 1, True)):
            with self.subTest(size=size):
                package = self.make_package(CODES, "large.msp")
                with package.open("r+b") as f:
                    f.truncate(size)
                if refused:
                    self.assertRefused("is 1,887,436,801 bytes; at most 1,800 MiB "
                                       "(1,887,436,800 bytes) fit, because the service pack's "
                                       "image must load in a 32-bit process", package=package)
                else:
                    self.check(package=package)

    def test_versions_are_four_fields_of_16_bits(self):
        for bad in ("9.1.31", "9.1.31.65536", "a.b.c.d", " 9.1.31.0", "9.1.31.0,", "9,1,31,0",
                    "9.1.31.0.1", ""):
            with self.subTest(version=bad):
                self.assertRefused("is not a version", upgrade=bad)
        self.check(upgrade="65535.0.000.65535")

    def test_candidate_list_holds_only_digits_dots_and_commas(self):
        for bad in ("2.0.4.0,;2.0.5.0,", " 9.1.030.0,", "9.1.030.0, ", "9.1.030.0;",
                    "v9.1.030.0,"):
            with self.subTest(candidates=bad):
                self.assertRefused(f"{bad!r} may hold only digits, dots and commas",
                                   candidates=bad)

    def test_candidate_list_ends_with_a_comma(self):
        self.assertRefused("must end with ','", candidates="9.1.030.0")
        self.assertRefused("must end with ','", candidates="9.1.029.0,9.1.030.0")
        self.assertRefused("must end with ','", candidates="")
        self.assertRefused("is not a version", candidates="9.1.030.0,,")
        self.assertRefused("is not a version", candidates="9.1.030,")
        self.assertEqual(self.check(candidates="9.1.029.0,9.1.030.0,")[1], [])

    def test_upgrade_among_candidates_warns(self):
        for candidates in ("9.1.030.0,9.1.031.0,", "9.1.030.0,9.1.31.0,"):
            with self.subTest(candidates=candidates):
                _, warnings = self.check(candidates=candidates)
                self.assertEqual(len(warnings), 1)
                self.assertIn("upgrade version 9.1.031.0 stands among the candidate", warnings[0])

    def test_note_versions_not_configured_warn(self):
        """Compared by value: 9.1.31.0 is 9.1.031.0."""
        for candidate, upgrade, candidates, warned in (
                ("9.1.30.0", "9.1.31.0", "9.1.030.0,", []),
                ("9.1.029.0", "9.1.031.0", "9.1.030.0,9.1.29.0,", []),
                ("9.1.029.0", "9.1.031.0", "9.1.030.0,", ["ProductVersionCandidate=9.1.029.0"]),
                ("9.1.030.0", "9.1.032.0", "9.1.030.0,", ["ProductVersionUpgrade=9.1.032.0"]),
                ("9.1.030.0", "latest", "9.1.030.0,", ["ProductVersionUpgrade=latest"]),
                ("9.1", "9.1.030.1", "9.1.030.0,", ["ProductVersionCandidate=9.1",
                                                      "ProductVersionUpgrade=9.1.030.1"])):
            with self.subTest(candidate=candidate, upgrade=upgrade, candidates=candidates):
                (self.notes / "206.txt").write_bytes(
                    f"PatchSuffix=SP1\r\nProductVersionCandidate={candidate}\r\n"
                    f"ProductVersionUpgrade={upgrade}".encode())
                _, warnings = self.check(candidates=candidates)
                self.assertEqual(len(warnings), len(warned), warnings)
                for warning, line in zip(warnings, warned):
                    self.assertIn(f"206.txt says {line}, which is not among the configured",
                                  warning)

    def test_maker_name_fits_message_307_in_every_language(self):
        for bad, fragment in (("Corvane%d", "must not hold"), ('Cor"vane', "must not hold"),
                              ("Cor\\vane", "must not hold"), ("Cor\tvane", "must not hold"),
                              ("Cor\nvane", "must not hold"), ("Cor\x85vane", "must not hold"),
                              ("", "is empty"),
                              ("x" * 58, "message 307 in German (Germany) (1031) 256 characters "
                               "long, more than the 255 that are shown; it leaves room for a name "
                               "of 57 characters")):
            with self.subTest(maker=bad):
                self.assertRefused(fragment, maker=bad)
        for good in ("x" * 57, "Tōkai Söftware; Ltd.", "株式会社コルヴェイン"):
            with self.subTest(maker=good):
                self.check(maker=good)

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
                "--maker-name", "Tōkai Söftware", "--output", str(output)]
        self.assertEqual(spr.main(args), 0)
        script = output.read_text(encoding="utf-8")
        self.assertIn(f'IDR_MSP_TB MSP "{self.package.resolve()}"', script)
        self.assertIn(f'206 TXT "{(self.notes / "206.txt").resolve()}"', script)
        self.assertIn('700 "9.1.031.0"', script)
        self.assertIn('900 "9.1.030.0,"', script)
        self.assertEqual(script.count("STRINGTABLE"), 15)
        self.assertNotIn("Corvane", script)
        made = [line for line in script.splitlines() if "Tōkai Söftware" in line]
        self.assertEqual(len(made), 14)
        self.assertTrue(all(line.lstrip().startswith('307 "') for line in made), made)
        self.assertIn('307 "The service pack could not be installed because the expected Tōkai '
                      'Söftware product could not be located on your computer.', script)

        output.unlink()
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors):
            self.assertEqual(spr.main(args[:3] + ["9.1.31"] + args[4:]), 1)
        self.assertIn("service pack input error: upgrade version '9.1.31' is not a version",
                      errors.getvalue())
        self.assertFalse(output.exists())

    def test_messages_name_the_inputs_as_the_caller_does(self):
        names = ("SP_PATCH_PACKAGE,SP_UPGRADE_VERSION,SP_CANDIDATE_VERSIONS,SP_NOTES_DIR,"
                 "SP_MAKER_NAME")
        base = {"--package": str(self.package), "--upgrade-version": "9.1.031.0",
                "--candidate-versions": "9.1.030.0,", "--notes-dir": str(self.notes),
                "--maker-name": "Corvane", "--catalogue": str(CATALOGUE), "--names": names}
        for flag, value, expected in (
                ("--package", str(self.dir / "none.msp"),
                 f"SP_PATCH_PACKAGE '{self.dir / 'none.msp'}' does not exist"),
                ("--upgrade-version", "9.1.31", "SP_UPGRADE_VERSION '9.1.31' is not a version"),
                ("--candidate-versions", "9.1.030.0", "SP_CANDIDATE_VERSIONS '9.1.030.0' must"),
                ("--notes-dir", str(self.dir), f"SP_NOTES_DIR '{self.dir}' must number"),
                ("--maker-name", "100%", "SP_MAKER_NAME '100%' must not hold")):
            with self.subTest(flag=flag):
                (self.dir / "207.txt").write_bytes(NOTE)
                args = dict(base, **{flag: value})
                errors = io.StringIO()
                with contextlib.redirect_stderr(errors):
                    self.assertEqual(spr.main([x for pair in args.items() for x in pair]), 1)
                self.assertIn(f"service pack input error: {expected}", errors.getvalue())


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
