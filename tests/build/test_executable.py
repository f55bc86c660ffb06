"""Checks a built service pack: what it imports and exactly what it carries."""

import os
import pathlib
import re
import sys
import unittest
import xml.etree.ElementTree as ElementTree

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
MESSAGE_IDS = [300, 301, 302] + list(range(306, 320))
HELP_IDS = range(316, 320)
HELP_OPTIONS = ["/q", "/passive", "/norestart", "/log <file>", "/e [file]", "/p [file]", "/i", "/?"]
# KnownDLLs only: Windows takes them from System32 whatever folder the program is
# started from, before any code of the program runs. Every other DLL is loaded
# at run time from System32 alone.
IMPORTED_DLLS = {"kernel32.dll", "msvcrt.dll"}
BOUND_IMPORT_DIRECTORY = 11
DELAY_IMPORT_DIRECTORY = 13
CONVERSION = re.compile(r"%[ds]")
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = peresources.load(EXE)
        cls.resources = cls.image.resources()
        cls.strings = cls.image.strings()

    def test_is_a_32_bit_gui_program_that_imports_only_kernel32_and_msvcrt(self):
        self.assertEqual(self.image.machine, 0x14C)
        self.assertEqual(self.image.subsystem, 2)
        imports = {name.lower() for name in self.image.imports()}
        self.assertEqual(imports, IMPORTED_DLLS)
        # Nor DLLs loaded by bare name on first call, nor bound to a particular build.
        self.assertEqual(self.image.directories[DELAY_IMPORT_DIRECTORY], (0, 0))
        self.assertEqual(self.image.directories[BOUND_IMPORT_DIRECTORY], (0, 0))

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

    def test_manifest_declares_exactly_the_execution_level_as_invoker(self):
        # Wine starts a program whose manifest is malformed or misnamed; Windows does not.
        assembly = ElementTree.fromstring(self.resources[(24, 1, 1033)])
        self.assertEqual(assembly.tag, ASM_V1 + "assembly")
        self.assertEqual(assembly.attrib, {"manifestVersion": "1.0"})
        self.assertEqual([element.tag for element in assembly.iter()], [
            ASM_V1 + "assembly", ASM_V3 + "trustInfo", ASM_V3 + "security",
            ASM_V3 + "requestedPrivileges", ASM_V3 + "requestedExecutionLevel"])
        level = assembly.find(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                              f"{ASM_V3}requestedExecutionLevel")
        self.assertEqual(level.attrib, {"level": "asInvoker", "uiAccess": "false"})
        for element in assembly.iter():
            self.assertEqual((element.text or "").strip(), "", element.tag)

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
                    if id in HELP_IDS:
                        self.assertNotIn("%", text, f"% in {id}")
                self.assertIn(MAKER, table[307])
                if MAKER != "Corvane":
                    self.assertNotIn("Corvane", table[307])

    def test_help_lists_every_option_on_a_line_of_its_own(self):
        for language in LANGUAGES:
            table = self.strings[language]
            with self.subTest(language=language):
                lines = "\n".join(table[id] for id in HELP_IDS if table[id]).split("\n")
                # The first line tells what a run without options does.
                self.assertEqual([line.split(":")[0].rstrip() for line in lines[1:]],
                                 HELP_OPTIONS)
                self.assertIn("/quiet", lines[1])
                self.assertIn("/qn", lines[1])

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
