#include "payload/patch_list.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;

const std::string kRecord206 = std::string("*****\r\n") + test::kNote206 + "\r\n";
const std::string kNote207 = "PatchSuffix=SP2";
const std::string kRecord207 = "*****\r\n" + kNote207 + "\r\n";

class PatchListTest : public testing::Test {
 protected:
  std::uint32_t Write(std::u16string path = u"C:\\list.txt") {
    return WritePatchList(m.messages(), path).code();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : m.os.log.Boxes()) {
      texts.push_back(box.text);
    }
    return texts;
  }

  Machine m;
};

TEST_F(PatchListTest, AppendsOneRecordPerNoteBehindWhatIsThere) {
  m.os.model.AddResource(u"TXT", u"#207", kNote207);
  m.os.model.files[u"C:\\list.txt"] = {false, test::Bytes("old line without break")};

  EXPECT_EQ(Write(), 0u);

  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"),
            "old line without break" + kRecord206 + kRecord207);
  EXPECT_TRUE(m.os.log.Boxes().empty());
  const std::string list = "file C:\\list.txt";
  EXPECT_EQ(
      m.os.log.Of({"CreateFileW", "SetFilePointerEx", "FindResourceW", "WriteFile", "CloseHandle"}),
      (std::vector<test::Call>{
          // Open or create, in two steps: a new file first, else the one that is there.
          {"CreateFileW", {"C:\\list.txt", "0xc0010000", "1", "1", "0x80"}},
          {"CreateFileW", {"C:\\list.txt", "0xc0010000", "1", "3", "0x80"}},
          {"CreateFileW", {"C:\\", "0x0", "7", "3", "0x2200000"}},
          {"CloseHandle", {"file C:\\"}},
          {"SetFilePointerEx", {list, "0", "2"}},
          {"FindResourceW", {"module", "#206", "TXT"}},
          {"WriteFile", {list, "7"}},
          {"WriteFile", {list, std::to_string(sizeof test::kNote206 - 1)}},
          {"WriteFile", {list, "2"}},
          {"FindResourceW", {"module", "#207", "TXT"}},
          {"WriteFile", {list, "7"}},
          {"WriteFile", {list, "15"}},
          {"WriteFile", {list, "2"}},
          {"FindResourceW", {"module", "#208", "TXT"}},
          {"CloseHandle", {list}},
      }));
}

TEST_F(PatchListTest, TwoRunsGiveTwoIdenticalRecords) {
  Write();
  Write();
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), kRecord206 + kRecord206);
}

TEST_F(PatchListTest, EmptyPathMeansPatchlistTxtInTheCurrentDirectory) {
  std::u16string path;
  EXPECT_EQ(WritePatchList(m.messages(), path).code(), 0u);
  EXPECT_EQ(test::Utf8(path), "patchlist.txt");
  EXPECT_EQ(m.os.model.FileText(u"patchlist.txt"), kRecord206);
}

TEST_F(PatchListTest, ANoteBehindAGapIsNeverReached) {
  m.os.model.AddResource(u"TXT", u"#208", "Late=1");
  EXPECT_EQ(Write(), 0u);
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), kRecord206);
}

TEST_F(PatchListTest, QuietWritesTheSameBytesAndShowsNothing) {
  m.process.options.quiet = true;
  EXPECT_EQ(Write(), 0u);
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), kRecord206);
  m.os.model.resources.clear();
  EXPECT_EQ(Write(u"C:\\other.txt"), 1814u);
  EXPECT_TRUE(m.os.log.Boxes().empty());
}

TEST_F(PatchListTest, FileInUseShows310AndChangesNothing) {
  m.os.model.files[u"C:\\list.txt"] = {false, test::Bytes("kept")};
  m.os.faults.openErrors[u"C:\\list.txt"] = 32;  // ERROR_SHARING_VIOLATION

  EXPECT_EQ(Write(), 32u);

  EXPECT_EQ(Texts(), std::vector<std::string>{"Supply a patch list."});
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), "kept");
  EXPECT_TRUE(m.os.log.Of({"FindResourceW", "WriteFile"}).empty());
}

TEST_F(PatchListTest, NoNoteAtAllShows310AndLeavesAnEmptyFile) {
  m.os.model.resources.erase({u"TXT", u"#206"});
  EXPECT_EQ(Write(), 1814u);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Supply a patch list."});
  EXPECT_TRUE(m.os.model.Exists(u"C:\\list.txt"));
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), "");
}

struct UnusableNote {
  const char* description;
  std::function<void(test::FakeResource&)> spoil;
  std::uint32_t exitCode;
};

class UnusableNoteTest : public PatchListTest, public testing::WithParamInterface<UnusableNote> {};

TEST_P(UnusableNoteTest, Shows300AndKeepsTheRecordsBefore) {
  m.os.model.AddResource(u"TXT", u"#207", kNote207);
  m.os.model.AddResource(u"TXT", u"#208", "Later=1");
  GetParam().spoil(m.os.model.resources[{u"TXT", u"#207"}]);

  EXPECT_EQ(Write(), GetParam().exitCode);

  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), kRecord206);
  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text,
            "Failed.\n\n Error Code: " + std::to_string(GetParam().exitCode));
  EXPECT_EQ(m.os.log.ArgsOf("FindResourceW").back(),
            (std::vector<std::string>{"module", "#207", "TXT"}));
}

INSTANTIATE_TEST_SUITE_P(
    Notes, UnusableNoteTest,
    testing::Values(UnusableNote{"size 0", [](auto& r) { r.bytes.clear(); }, 1603},
                    UnusableNote{"not loadable", [](auto& r) { r.loadFails = true; }, 1812},
                    UnusableNote{"not lockable", [](auto& r) { r.lockFails = true; }, 1603}),
    test::DescriptionName());

struct WriteFault {
  const char* description;
  int failingCall;  // which write into the list fails
  bool partial;     // the call reports success but writes less
  std::uint32_t error;
  std::uint64_t size = 0;  // bytes the list holds before "before\r\n"
};

class WriteFaultTest : public PatchListTest, public testing::WithParamInterface<WriteFault> {};

TEST_P(WriteFaultTest, CutsThePartialRecordAwayAndStops) {
  m.os.model.AddResource(u"TXT", u"#207", kNote207);
  const WriteFault& fault = GetParam();
  m.os.model.files[u"C:\\list.txt"] = {false, test::Bytes("before\r\n")};
  m.os.model.files[u"C:\\list.txt"].hole = fault.size;
  if (fault.partial) {
    m.os.faults.partialWrites[{u"C:\\list.txt", fault.failingCall}] = 1;
  } else {
    m.os.faults.failingWrites[{u"C:\\list.txt", fault.failingCall}] = fault.error;
  }

  EXPECT_EQ(Write(), fault.error);

  // Records complete before the fault stay; nothing of the failed one does.
  const std::string kept = fault.failingCall > 3 ? kRecord206 : "";
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), "before\r\n" + kept);
  EXPECT_EQ(m.os.model.files[u"C:\\list.txt"].hole, fault.size);
  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "Failed.\n\n Error Code: " + std::to_string(fault.error));
  EXPECT_EQ(m.os.log.Count("WriteFile"), static_cast<std::size_t>(fault.failingCall));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFaultTest,
    testing::Values(WriteFault{"separator", 1, false, 112}, WriteFault{"note", 2, false, 112},
                    WriteFault{"line end", 3, false, 33}, WriteFault{"second note", 5, false, 112},
                    WriteFault{"second line end short", 6, true, 1603},
                    WriteFault{"note short", 2, true, 1603},
                    // Offsets past 2 and 4 GiB (the list holds no more
                    // than its last bytes).
                    WriteFault{"note in a list over 2 GiB", 2, false, 112, 0x8000'0000ull},
                    WriteFault{"second note in a list over 4 GiB", 5, false, 112,
                               0x1'2345'6789ull}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
