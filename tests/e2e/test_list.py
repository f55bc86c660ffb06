"""'/i' under Wine: the target product codes in one box, also when quiet."""

import unittest

import bench


class List(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.targets = next(p["targets"] for p in bench.samples()["patches"]
                           if p["name"] == "sample")

    def setUp(self):
        self.case = bench.Case(bench.base("none"))

    def tearDown(self):
        self.case.close()

    def test_shows_summary_property_7_exactly(self):
        for arguments in ("/i", "/q /i", "/I /q"):
            with self.subTest(arguments=arguments):
                result = self.case.servicepack(arguments)
                self.assertFalse(result.timed_out)
                self.assertEqual(result.exit_code, 0)
                self.assertEqual([(b.text, b.caption, b.style) for b in result.boxes],
                                 [(self.targets, "List of Products", 0x50000)])
        self.assertEqual(self.targets.count(";"), 4)

    def test_nothing_after_i_is_looked_at(self):
        result = self.case.servicepack("/i /e C:\\x.msp")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(result.boxes), 1)
        self.assertFalse(self.case.host("C:\\x.msp").exists())


if __name__ == "__main__":
    unittest.main()
