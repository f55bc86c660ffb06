// The machine as the double models it: the program's resources and string
// tables, the thread's state, a file system of full paths, the products that
// Windows Installer knows and who can see the process.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sp::test {

struct FakeResource {
  std::vector<std::byte> bytes;
  std::optional<std::uint32_t> reportedSize;  // SizeofResource's answer, if not the byte count
  bool loadFails = false;
  bool lockFails = false;
};

struct FakeFile {
  FakeFile(bool isDirectory = false, std::vector<std::byte> bytes = {})  // NOLINT: {dir, bytes}
      : directory(isDirectory), data(std::move(bytes)) {}

  bool directory = false;
  std::vector<std::byte> data;  // the bytes after the hole
  // A file's first bytes may be a hole of zeros that is not stored, so that a
  // test can have a file of many GiB.
  std::uint64_t hole = 0;
  std::uint32_t links = 1;
  bool reparsePoint = false;
  std::optional<std::u16string> leadsTo;  // the final path of a link placed here
  std::uint64_t index = 0;                // the file index; the double numbers what it creates
  bool operator==(const FakeFile&) const = default;
};

struct FakeProduct {
  int state = 5;
  std::map<std::u16string, std::u16string> info;  // attribute -> text
  std::deque<std::uint32_t> configureResults;     // popped per call; 0 when empty
  // The "VersionString" a reconfiguration that succeeds leaves; string 700 of the
  // English catalogue when unset. The product's own version models a patch that
  // the installer reports as applied but that changed nothing.
  std::optional<std::u16string> versionAfterPatch;
};

// The machine as the program finds it.
struct Model {
  ModuleHandle module = ModuleHandle(0x400000);
  // (type, name); in any language, and before the string tables for a string block
  std::map<std::pair<std::u16string, std::u16string>, FakeResource> resources;
  std::map<std::uint16_t, std::map<std::uint32_t, std::u16string>> strings;  // language -> id
  std::uint32_t threadLocale = 1033;
  std::uint32_t userDefaultLocale = 1033;
  std::uint32_t lastError = 0;

  std::u16string commandLine = u"servicepack.exe";
  LocalTime localTime{2026, 12, 8, 9, 5, 7};
  std::optional<std::vector<std::u16string>> arguments;  // the split, instead of splitting
  std::map<std::u16string, std::u16string> environment;

  std::u16string tempPath = u"C:\\T\\";
  std::u16string currentDirectory = u"C:\\W";
  std::map<std::u16string, FakeFile> files = {{u"C:\\T", FakeFile{true, {}}},
                                              {u"C:\\W", FakeFile{true, {}}}};  // full path
  // Short forms of paths; a path without one is its own short form, as where
  // short names are turned off.
  std::map<std::u16string, std::u16string> shortNames;

  std::u16string summaryText;  // property 7 of every package that opens
  std::map<std::u16string, FakeProduct> products;

  // Who can see the process and its rights: a visible window station (WSF_VISIBLE)
  // in session 1 of Windows 10, elevated. The UI language is the thread locale's
  // language, whatever that is at the time, unless set.
  std::optional<OsVersion> osVersion = OsVersion{10, 0, 19045};
  std::uint32_t windowStationFlags = 1;
  std::uint32_t processId = 4242;
  std::uint32_t sessionId = 1;
  bool elevated = true;
  std::optional<std::uint16_t> uiLanguage;

  void AddCatalogue(std::uint16_t language, std::map<std::uint32_t, std::u16string> entries);
  // An installed product (state 5) with its name, language and version.
  void AddProduct(const std::u16string& code, std::u16string name, std::u16string language,
                  std::u16string version);
  void AddResource(std::u16string type, std::u16string name, std::string_view bytes);
  std::string FileText(const std::u16string& path) const;
  bool Exists(const std::u16string& path) const { return files.count(path) != 0; }
  // What GetFullPathNameW makes of `path`.
  std::u16string FullPath(std::u16string path) const;
  // Whether the folder `path` is in exists (the current directory and a drive
  // root always do).
  bool ParentIsDirectory(const std::u16string& path) const;
  // The string block `block` of `language` as the resource compiler lays it
  // out: sixteen counted strings. None when the language has no entry in it.
  std::optional<std::vector<std::byte>> StringBlock(std::uint16_t language,
                                                    std::uint32_t block) const;
};

}  // namespace sp::test
