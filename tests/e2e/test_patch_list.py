"""'/p' under Wine: the deployment notes appended to a patch list, whole records only."""

import pathlib
import unittest

import bench

NOTES = sorted((pathlib.Path(__file__).resolve().parents[2] / "resources" / "sample" / "notes")
               .glob("*.txt"))
assert NOTES, "the sample's notes are missing"


def records():
    return b"".join(b"*****\r\n" + note.read_bytes() + b"\r\n" for note in NOTES)


class PatchList(unittest.TestCase):
    def setUp(self):
        self.case = bench.Case(bench.base("none"))

    def tearDown(self):
        self.case.close()

    def assert_returned(self, result, exit_code):
        self.assertFalse(result.timed_out, "the run did not return on its own")
        self.assertEqual(result.exit_code, exit_code)

    def test_two_runs_give_two_identical_records_per_note(self):
        first = self.case.servicepack("/p C:\\list.txt")
        self.assert_returned(first, 0)
        self.assertEqual(first.boxes, [])
        second = self.case.servicepack("/q /p C:\\list.txt")
        self.assert_returned(second, 0)
        self.assertEqual(second.boxes, [])
        content = self.case.host("C:\\list.txt").read_bytes()
        self.assertEqual(content, records() * 2)
        self.assertEqual(len(content), 2 * sum(7 + note.stat().st_size + 2 for note in NOTES))

    def test_without_a_path_appends_to_patchlist_txt_in_the_current_directory(self):
        result = self.case.servicepack("/q /p", cwd="C:\\work")
        self.assert_returned(result, 0)
        self.assertEqual(self.case.host("C:\\work\\patchlist.txt").read_bytes(), records())

    def test_a_file_without_a_final_line_break_is_appended_to_directly(self):
        self.case.host("C:\\list.txt").write_bytes(b"existing line")
        result = self.case.servicepack("/p C:\\list.txt")
        self.assert_returned(result, 0)
        self.assertEqual(self.case.host("C:\\list.txt").read_bytes(), b"existing line" + records())
        self.case.host("C:\\other.txt").write_bytes(b"no break")
        quiet = self.case.servicepack("/q /p C:\\other.txt")
        self.assert_returned(quiet, 0)
        self.assertEqual(self.case.host("C:\\other.txt").read_bytes(), b"no break" + records())

    def test_a_build_without_notes_shows_310_and_leaves_an_empty_file(self):
        result = self.case.servicepack("/p C:\\list.txt", exe="servicepack-nonotes.exe")
        self.assert_returned(result, 1813)
        self.assertEqual([(b.text, b.caption, b.style) for b in result.boxes],
                         [(bench.message(1033, 310), bench.message(1033, 311), 0x50010)])
        self.assertEqual(self.case.host("C:\\list.txt").read_bytes(), b"")
        quiet = self.case.servicepack("/q /p C:\\list.txt", exe="servicepack-nonotes.exe")
        self.assert_returned(quiet, 1813)
        self.assertEqual(quiet.boxes, [])

    def test_a_file_held_open_for_writing_shows_310_and_fails(self):
        self.case.host("C:\\list.txt").write_bytes(b"theirs")
        with self.case.holding("C:\\list.txt"):
            result = self.case.servicepack("/p C:\\list.txt")
            quiet = self.case.servicepack("/q /p C:\\list.txt")
        self.assert_returned(result, 32)
        self.assertEqual([b.text for b in result.boxes], [bench.message(1033, 310)])
        self.assert_returned(quiet, 32)
        self.assertEqual(quiet.boxes, [])
        self.assertEqual(self.case.host("C:\\list.txt").read_bytes(), b"theirs")

    def test_extract_then_patch_list(self):
        result = self.case.servicepack("/q /e C:\\sp.msp /p C:\\list.txt")
        self.assert_returned(result, 0)
        self.assertEqual(self.case.host("C:\\sp.msp").read_bytes(),
                         bench.sample_patch().read_bytes())
        self.assertEqual(self.case.host("C:\\list.txt").read_bytes(), records())
        self.assertEqual(result.installer_calls("MsiConfigureProductExW"), [])


if __name__ == "__main__":
    unittest.main()
