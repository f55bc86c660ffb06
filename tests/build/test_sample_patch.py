"""The committed sample patch is the one that the samples' sources make today: the same
target products, transforms and patch code, so the two cannot drift apart."""

import os
import subprocess
import unittest

# msiinfo's names of summary properties 7, 8 and 9.
PROPERTIES = ["Template", "Last author", "Revision number (UUID)"]


def summary(path):
    out = subprocess.run(["msiinfo", "suminfo", path], check=True, capture_output=True,
                         text=True).stdout
    return dict(line.split(": ", 1) for line in out.splitlines() if ": " in line)


class SamplePatch(unittest.TestCase):
    def test_committed_and_regenerated_patch_target_the_same_products(self):
        committed = summary(os.environ["SP_SAMPLE_PATCH"])
        regenerated = summary(os.environ["SP_REGENERATED_SAMPLE_PATCH"])
        for name in PROPERTIES:
            with self.subTest(property=name):
                self.assertTrue(regenerated.get(name), f"{name} missing: {regenerated}")
                self.assertEqual(committed.get(name), regenerated[name])


if __name__ == "__main__":
    unittest.main()
