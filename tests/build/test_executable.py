"""Checks a built service pack: what it imports and exactly what it carries."""

import os
import pathlib
import re
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import peresources  # noqa: E402

EXE = os.environ["SP_EXE"]
PACKAGE = os.environ["SP_PACKAGE"]
NOTES_DIR = os.environ.get("SP_NOTES_DIR", "")
UPGRADE = os.environ["SP_UPGRADE_VERSION"]
CANDIDATES = os.environ["SP_CANDIDATE_VERSIONS"]
MAKER = os.environ["SP_MAKER_NAME"]
MANIFEST = pathlib.Path(__file__).resolve().parents[2] / "resources" / "manifest.xml"

LANGUAGES = [1028, 1029, 1031, 1033, 1034, 1036, 1038, 1040, 1041, 1042, 1045, 1046, 1049, 2052]
MESSAGE_IDS = [300, 301, 302] + list(range(306, 316))
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "msi.dll", "msvcrt.dll",
               "advapi32.dll"}
CONVERSION = re.compile(r"%[ds]")


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = peresources.load(EXE)
        cls.resources = cls.image.resources()
        cls.strings = cls.image.strings()

    def test_is_a_32_bit_gui_program_that_imports_only_system_dlls(self):
        self.assertEqual(self.image.machine, 0x14C)
        self.assertEqual(self.image.subsystem, 2)
        imports = {name.lower() for name in self.image.imports()}
        self.assertLessEqual(imports, SYSTEM_DLLS)

    def test_carries_exactly_its_resources(self):
        notes = sorted(pathlib.Path(NOTES_DIR).glob("*.txt")) if NOTES_DIR else []
        expected = {("MSP", "IDR_MSP_TB", 1033), (24, 1, 1033), (6, 44, 1033), (6, 57, 1033)}
        expected |= {("TXT", int(note.stem), 1033) for note in notes}
        expected |= {(6, block, language) for block in (19, 20) for language in LANGUAGES}
        self.assertEqual(set(self.resources), expected)

        self.assertEqual(self.resources[("MSP", "IDR_MSP_TB", 1033)],
                         pathlib.Path(PACKAGE).read_bytes())
        self.assertTrue(self.resources[("MSP", "IDR_MSP_TB", 1033)].startswith(
            bytes.fromhex("D0CF11E0A1B11AE1")))
        for note in notes:
            self.assertEqual(self.resources[("TXT", int(note.stem), 1033)], note.read_bytes())
        self.assertEqual(self.resources[(24, 1, 1033)], MANIFEST.read_bytes())

    def test_version_texts_are_english_only(self):
        self.assertEqual(self.strings[1033][700], UPGRADE)
        self.assertEqual(self.strings[1033][900], CANDIDATES)
        for language in LANGUAGES:
            if language != 1033:
                self.assertNotIn(700, self.strings[language])
                self.assertNotIn(900, self.strings[language])

    def test_catalogue_is_complete_in_every_language(self):
        english = self.strings[1033]
        for language in LANGUAGES:
            table = self.strings[language]
            with self.subTest(language=language):
                self.assertEqual(sorted(set(table) - {700, 900}), MESSAGE_IDS)
                for id in MESSAGE_IDS:
                    text = table[id]
                    self.assertEqual(CONVERSION.findall(text), CONVERSION.findall(english[id]),
                                     f"conversions of {id}")
                    self.assertEqual(text.count("%"), english[id].count("%"), f"% in {id}")
                    self.assertEqual(text.count("\n"), english[id].count("\n"),
                                     f"line feeds of {id}")
                    self.assertNotIn("\r", text)
                    if id != 315:
                        self.assertLessEqual(len(text), 255, f"length of {id}")
                self.assertIn(MAKER, table[307])
                if MAKER != "Corvane":
                    self.assertNotIn("Corvane", table[307])

    def test_brazilian_portuguese_deployment_texts_are_english(self):
        for id in (314, 315):
            self.assertEqual(self.strings[1046][id], self.strings[1033][id])

    def test_english_texts(self):
        english = self.strings[1033]
        self.assertEqual(english[300], "A problem prevented the Service Pack from being installed. "
                         "Contact your system administrator. \n\n Error Code: %d")
        self.assertEqual(english[311], "Installation Error")
        self.assertEqual(english[315],
                         'When applying this service pack to a deployment, it should NOT be '
                         'applied via the "Append the service packs onto the deployment" method. '
                         'It should instead be applied via the "Merge the service packs into the '
                         'administrative image MSI file" method.')


if __name__ == "__main__":
    unittest.main()
