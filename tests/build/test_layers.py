"""Dependencies in src/ point down only: each folder includes its own headers and
those of the layers below it, never one above or beside it."""

import pathlib
import re
import unittest

SRC = pathlib.Path(__file__).resolve().parents[2] / "src"
INCLUDE = re.compile(r'^#include "([a-z_0-9]+)/', re.M)

# What each folder may include besides itself.
ALLOWED = {
    "check": {"products", "messages", "platform"},
    "app": {"install", "products", "payload", "messages", "platform"},
    "install": {"products", "payload", "messages", "platform"},
    "products": {"messages", "platform"},
    "payload": {"messages", "platform"},
    "messages": {"platform"},
    "platform": set(),
}


def includes(folder):
    """(file, included folder) for every project include of the files in `folder`."""
    for path in sorted((SRC / folder).rglob("*")):
        if path.suffix in (".h", ".cpp"):
            for included in INCLUDE.findall(path.read_text()):
                yield path.relative_to(SRC), included


class Layers(unittest.TestCase):
    def test_every_folder_is_a_known_layer(self):
        self.assertEqual({p.name for p in SRC.iterdir() if p.is_dir()}, set(ALLOWED))

    def test_includes_point_down_only(self):
        for folder, allowed in ALLOWED.items():
            for path, included in includes(folder):
                with self.subTest(file=str(path)):
                    self.assertIn(included, allowed | {folder})


if __name__ == "__main__":
    unittest.main()
