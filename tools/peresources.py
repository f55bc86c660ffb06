#!/usr/bin/env python3
"""Reads what a Windows executable carries: its resources, its imported DLLs and
its string tables, so that tests can check the built program itself. pefile reads
the image; it has no string table per language (its own merges the languages of a
block), so strings() decodes each language's blocks with pefile's block decoder."""

import sys

import pefile

RT_STRING = 6
STRINGS_PER_BLOCK = 16  # block n holds the strings 16 (n - 1) to 16 n - 1
DIRECTORIES = [pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
               pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]


class PeImage:
    def __init__(self, data=None, path=None):
        """From the image's bytes, or from a file (mapped, not read)."""
        try:
            self.pe = pefile.PE(name=path, data=data, fast_load=True)
            self.pe.parse_data_directories(directories=DIRECTORIES)
        except pefile.PEFormatError as error:
            raise ValueError(f"not a PE image: {error.value}")
        self.machine = self.pe.FILE_HEADER.Machine
        self.subsystem = self.pe.OPTIONAL_HEADER.Subsystem
        self.directories = [(entry.VirtualAddress, entry.Size)
                            for entry in self.pe.OPTIONAL_HEADER.DATA_DIRECTORY]

    def imports(self):
        return [entry.dll.decode() for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])]

    def resources(self):
        """{(type, name, language): bytes}; type and name are ints or strings."""
        def key(entry):
            return entry.id if entry.name is None else str(entry.name)

        found = {}
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for rtype in root.entries if root else []:
            for name in rtype.directory.entries:
                for language in name.directory.entries:
                    data = language.data.struct
                    found[(key(rtype), key(name), language.id)] = self.pe.get_data(
                        data.OffsetToData, data.Size)
        return found

    def strings(self):
        """{language: {id: text}} of every non-empty string-table entry."""
        tables = {}
        for (rtype, block, language), data in self.resources().items():
            if rtype == RT_STRING:
                pefile.parse_strings(data, (block - 1) * STRINGS_PER_BLOCK,
                                     tables.setdefault(language, {}))
        return tables


def load(path):
    return PeImage(path=str(path))


if __name__ == "__main__":
    image = load(sys.argv[1])
    print("imports:", ", ".join(image.imports()))
    for (rtype, name, language), data in sorted(image.resources().items(), key=str):
        print(f"resource {rtype!r} {name!r} {language}: {len(data)} bytes")
