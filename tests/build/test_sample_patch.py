"""The committed sample patch is the one that the samples' sources make today: the same
target products, transforms and patch code, so the two cannot drift apart."""

import os
import pathlib
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import servicepack_resources as spr  # noqa: E402

# Summary properties 7, 8 and 9 of a patch: its target products, its transforms, its code.
PROPERTIES = {spr.TARGETS: "target products", spr.LAST_AUTHOR: "transforms",
              spr.REVISION: "patch code"}


class SamplePatch(unittest.TestCase):
    def test_committed_and_regenerated_patch_target_the_same_products(self):
        committed = spr.read_summary(os.environ["SP_SAMPLE_PATCH"])
        regenerated = spr.read_summary(os.environ["SP_REGENERATED_SAMPLE_PATCH"])
        for id, name in PROPERTIES.items():
            with self.subTest(property=id, name=name):
                self.assertTrue(regenerated.get(id), f"{name} missing: {regenerated}")
                self.assertEqual(committed.get(id), regenerated[id])


if __name__ == "__main__":
    unittest.main()
