#include "install/logs.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf16;
using test::Utf8;

TEST(StripTrailingBackslash, RemovesOneExceptADriveRoots) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\T\\", "C:\\T"},     {"C:\\T", "C:\\T"},       {"C:\\", "C:\\"}, {"\\", ""}, {"", ""},
      {"C:\\T\\\\", "C:\\T\\"}, {"a:\\b:\\", "a:\\b:\\"}, {"x\\", "x"}};
  for (const auto& [text, expected] : cases) {
    std::u16string path = Utf16(text);
    StripTrailingBackslash(path);
    EXPECT_EQ(Utf8(path), expected) << text;
  }
}

TEST(DirectoryExists, NeedsADirectoryAndClosesTheSearch) {
  Machine m;
  m.os.model.files[u"C:\\file"] = {};
  EXPECT_TRUE(DirectoryExists(m.os, u"C:\\T"));
  EXPECT_FALSE(DirectoryExists(m.os, u"C:\\file"));
  EXPECT_FALSE(DirectoryExists(m.os, u"C:\\none"));
  EXPECT_EQ(m.os.log.Of({"FindFirstFileW", "FindClose"}),
            (std::vector<test::Call>{{"FindFirstFileW", {"C:\\T"}},
                                     {"FindClose", {"find C:\\T"}},
                                     {"FindFirstFileW", {"C:\\file"}},
                                     {"FindClose", {"find C:\\file"}},
                                     {"FindFirstFileW", {"C:\\none"}}}));
}

struct DirectoryCase {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  const char* expected;
};

class GetLogDirectoryTest : public testing::TestWithParam<DirectoryCase> {};

TEST_P(GetLogDirectoryTest, FindsOrMakesTheDirectory) {
  Machine m;
  GetParam().arrange(m.os);
  EXPECT_EQ(Utf8(GetLogDirectory(m.os, 260)), GetParam().expected);
  EXPECT_EQ(m.os.log.all().at(0), (test::Call{"GetTempPathW", {"259"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetLogDirectoryTest,
    testing::Values(DirectoryCase{"existing temp directory", [](auto&) {}, "C:\\T"},
                    DirectoryCase{"missing one is made",
                                  [](auto& os) { os.model.files.erase(u"C:\\T"); }, "C:\\T"},
                    DirectoryCase{"one that cannot be made",
                                  [](auto& os) {
                                    os.model.files.erase(u"C:\\T");
                                    os.faults.failingCreateDirectory.insert(u"C:\\T");
                                  },
                                  "c:"},
                    DirectoryCase{"no temp directory", [](auto& os) { os.model.tempPath.clear(); },
                                  "c:"},
                    DirectoryCase{"one longer than the buffer",
                                  [](auto& os) {
                                    os.model.tempPath = u"C:\\" + std::u16string(256, u'x') + u"\\";
                                  },
                                  "c:"},
                    // The search refuses the root with its backslash, and the root is
                    // there already: both fail, as on Windows.
                    DirectoryCase{"a drive root keeps its backslash and gives c:",
                                  [](auto& os) {
                                    os.model.tempPath = u"D:\\";
                                    os.model.files[u"D:\\"] = {true, {}};
                                  },
                                  "c:"},
                    DirectoryCase{"a drive root that is not there",
                                  [](auto& os) {
                                    os.model.tempPath = u"D:\\";
                                    os.faults.failingCreateDirectory.insert(u"D:\\");
                                  },
                                  "c:"}),
    test::DescriptionName());

TEST(LogFilePath, MakesTheProductNameSafeForAFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"Corvane Studio", "C:\\T\\Corvane Studio.log"},
      {"Corvane Studio Français", "C:\\T\\Corvane Studio Français.log"},
      {"A/B\\C:D*E?F\"G<H>I|J", "C:\\T\\A_B_C_D_E_F_G_H_I_J.log"},
      {"Tab\there\x01", "C:\\T\\Tab_here_.log"},
      {"CON", "C:\\T\\CON_.log"},
      {"nul", "C:\\T\\nul_.log"},
      {"Com7", "C:\\T\\Com7_.log"},
      {"LPT1.x", "C:\\T\\LPT1_.x.log"},
      // Windows takes blanks before the first dot as part of the device name.
      {"CON .x", "C:\\T\\CON_ .x.log"},
      {"aux  ", "C:\\T\\aux_  .log"},
      {"   ", "C:\\T\\   _.log"},
      {"COM0", "C:\\T\\COM0.log"},
      {"CONSOLE", "C:\\T\\CONSOLE.log"},
      {"Name.", "C:\\T\\Name._.log"},
      {"Name ", "C:\\T\\Name _.log"},
      {"", "C:\\T\\.log"}};
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(Utf8(LogFilePath(u"C:\\T", Utf16(name)).value()), expected) << name;
  }
}

struct LogPathCase {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  bool held;
  // What stands at the path afterwards: a file with this text, or nothing at all.
  std::optional<std::string> left;
};

class HoldNewLogTest : public testing::TestWithParam<LogPathCase> {};

TEST_P(HoldNewLogTest, HoldsOnlyANewFileOfItsOwn) {
  Machine m;
  GetParam().arrange(m.os);
  {
    const auto held = HoldNewLog(m.os, u"C:\\T\\Alpha.log");
    EXPECT_EQ(held.ok(), GetParam().held);
    if (held.ok()) {
      // Held for writing, sharing reading and writing but not deletion.
      std::vector<std::string> last;
      for (const auto& args : m.os.log.ArgsOf("CreateFileW")) {
        last = args.at(0) == "C:\\T\\Alpha.log" ? args : last;
      }
      EXPECT_EQ(last, (std::vector<std::string>{"C:\\T\\Alpha.log", "0x82", "3", "3", "0x80"}));
    }
  }
  if (m.os.model.files.count(u"C:\\T\\Alpha.log") != 0 &&
      m.os.model.files.at(u"C:\\T\\Alpha.log").directory) {
    return;
  }
  ASSERT_EQ(m.os.model.Exists(u"C:\\T\\Alpha.log"), GetParam().left.has_value());
  if (GetParam().left) {
    EXPECT_EQ(m.os.model.FileText(u"C:\\T\\Alpha.log"), *GetParam().left);
  }
}

void PlainFile(test::RecordingPlatform& os) {
  os.model.files[u"C:\\T\\Alpha.log"] = {false, test::Bytes("old log")};
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HoldNewLogTest,
    testing::Values(
        LogPathCase{"nothing there yet", [](auto&) {}, true, ""},
        LogPathCase{"a plain file is removed first", PlainFile, true, ""},
        LogPathCase{"a folder",
                    [](auto& os) {
                      os.model.files[u"C:\\T\\Alpha.log"] = {true, {}};
                    },
                    false, std::nullopt},
        LogPathCase{"a reparse point",
                    [](auto& os) {
                      PlainFile(os);
                      os.model.files[u"C:\\T\\Alpha.log"].reparsePoint = true;
                    },
                    false, "old log"},
        LogPathCase{"a file with a second link",
                    [](auto& os) {
                      PlainFile(os);
                      os.model.files[u"C:\\T\\Alpha.log"].links = 2;
                    },
                    false, "old log"},
        // What a link of the host looks like under Wine: plain, but its final path is elsewhere.
        LogPathCase{"a file whose final path lies elsewhere",
                    [](auto& os) {
                      PlainFile(os);
                      os.model.files[u"C:\\T\\Alpha.log"].leadsTo = u"C:\\Windows\\win.ini";
                    },
                    false, "old log"},
        LogPathCase{"a folder named by its short form",
                    [](auto& os) {
                      PlainFile(os);
                      os.model.files[u"C:\\T\\Alpha.log"].leadsTo = u"C:\\Temp Long\\alpha.LOG";
                      os.model.files[u"C:\\T"].leadsTo = u"C:\\Temp Long";
                    },
                    true, ""},
        // A junction: what this run creates in it goes again.
        LogPathCase{"a folder that is a reparse point",
                    [](auto& os) { os.model.files[u"C:\\T"].reparsePoint = true; }, false,
                    std::nullopt},
        // What only Windows can show: a link put in the file's place between the check and
        // the hold.
        LogPathCase{"another file at the name after the check",
                    [](auto& os) { os.faults.swappedAfterWrite.insert(u"C:\\T\\Alpha.log"); },
                    false, ""},
        LogPathCase{"attributes refused",
                    [](auto& os) { os.faults.attributeErrors[u"C:\\T\\Alpha.log"] = 5; }, false,
                    std::nullopt},
        LogPathCase{"a file that cannot be opened",
                    [](auto& os) {
                      PlainFile(os);
                      os.faults.openErrors[u"C:\\T\\Alpha.log"] = 5;
                    },
                    false, "old log"}),
    test::DescriptionName());

TEST(LogFilePath, FallsBackToCThenToNone) {
  const std::u16string deep = u"C:\\" + std::u16string(240, u'd');
  EXPECT_EQ(Utf8(*LogFilePath(deep, u"Corvane Studio")), "c:\\Corvane Studio.log");
  // 259 characters fit a buffer of 260; 260 do not.
  EXPECT_EQ(LogFilePath(u"c:", std::u16string(252, u'n'))->size(), 259u);
  EXPECT_FALSE(LogFilePath(u"c:", std::u16string(253, u'n')).has_value());
  EXPECT_FALSE(LogFilePath(deep, std::u16string(1023, u'n')).has_value());
}

}  // namespace
}  // namespace sp
