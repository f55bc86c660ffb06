// Every failure the platform can hand the program, injected through the
// recording platform into a whole run of the main routine; each row states what
// is on disk afterwards, the messages shown and the exit code.
#include <gtest/gtest.h>

#include "app/service_pack_main.h"
#include "fixtures.h"

namespace sp {
namespace {

using test::RecordingPlatform;

const std::string kPackage(test::kPackageBytes, sizeof test::kPackageBytes - 1);
const std::string kRecord = std::string("*****\r\n") + test::kNote206 + "\r\n";
constexpr char16_t kTempPackage[] = u"C:\\T\\MSP2";

std::string Failed(std::uint32_t code) {
  return "Failed.\n\n Error Code: " + std::to_string(code);
}
const std::string kInstalled = "Installed Alpha.";
const std::string kUpToDate = "Alpha is up-to-date";
const std::string kNoProduct = "No Corvane product.\nCheck.";
const std::string kUnsupported = "Not for this version of Alpha.";
const std::string kPatchListRequired = "Supply a patch list.";

using Disk = std::vector<std::pair<std::u16string, std::optional<std::string>>>;

struct Fault {
  const char* description;
  const char* arguments;
  std::function<void(RecordingPlatform&)> inject;
  Disk disk;  // path -> content afterwards, none for a path that must not exist
  std::vector<std::string> messages;
  std::uint32_t exitCode;
};

class FaultMatrixTest : public testing::TestWithParam<Fault> {
 protected:
  FaultMatrixTest() {
    m.os.model.files[u"C:\\out"] = {true, {}};
    m.os.model.files[u"C:\\out\\sp.msp"] = {false, test::Bytes("previous")};
    m.os.model.files[u"C:\\list.txt"] = {false, test::Bytes("old")};
    m.os.model.summaryText = u"{A}";
    m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");
  }

  test::Machine m;
};

TEST_P(FaultMatrixTest, LeavesDiskMessagesAndExitCodeAsStated) {
  const Fault& fault = GetParam();
  fault.inject(m.os);
  m.os.model.commandLine = u"servicepack.exe " + test::Utf16(fault.arguments);

  const std::uint32_t exitCode = ServicePackMain(m.process);

  EXPECT_EQ(exitCode, fault.exitCode);
  std::vector<std::string> messages;
  for (const auto& box : m.os.log.Boxes()) {
    messages.push_back(box.text);
  }
  EXPECT_EQ(messages, fault.messages);
  for (const auto& [path, content] : fault.disk) {
    if (content) {
      EXPECT_EQ(m.os.model.FileText(path), *content) << test::Utf8(path);
    } else {
      EXPECT_FALSE(m.os.model.Exists(path)) << test::Utf8(path);
    }
  }
}

void Results(RecordingPlatform& os, std::deque<std::uint32_t> results) {
  os.model.products[u"{A}"].configureResults = std::move(results);
}

INSTANTIATE_TEST_SUITE_P(
    Extraction, FaultMatrixTest,
    testing::Values(Fault{"no temporary directory",
                          "/e",
                          [](auto& os) { os.model.tempPath.clear(); },
                          {{kTempPackage, {}}},
                          {},
                          3},
                    Fault{"temporary directory longer than its buffer",
                          "/e",
                          [](auto& os) { os.model.tempPath = std::u16string(1100, u't'); },
                          {{kTempPackage, {}}},
                          {},
                          1603},
                    Fault{"every temporary name refused",
                          "/e",
                          [](auto& os) { os.faults.deniedPrefix = u"C:\\T\\MSP"; },
                          {{kTempPackage, {}}},
                          {},
                          5},
                    Fault{"package resource missing",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) {
                            os.model.resources.erase({u"MSP", u"IDR_MSP_TB"});
                          },
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          1814},
                    Fault{"package resource empty",
                          "/e",
                          [](auto& os) {
                            os.model.resources[{u"MSP", u"IDR_MSP_TB"}].bytes.clear();
                          },
                          {{kTempPackage, {}}},
                          {},
                          1603},
                    Fault{"package resource not loadable",
                          "/e",
                          [](auto& os) {
                            os.model.resources[{u"MSP", u"IDR_MSP_TB"}].loadFails = true;
                          },
                          {{kTempPackage, {}}},
                          {},
                          1812},
                    Fault{"package resource not lockable",
                          "/e",
                          [](auto& os) {
                            os.model.resources[{u"MSP", u"IDR_MSP_TB"}].lockFails = true;
                          },
                          {{kTempPackage, {}}},
                          {},
                          1603},
                    Fault{"access denied beside the target",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) { os.faults.openErrors[u"C:\\out\\sp.msp.partial"] = 5; },
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          5},
                    Fault{"access denied to a temporary name",
                          "/e",
                          [](auto& os) { os.faults.openErrors[kTempPackage] = 5; },
                          {{kTempPackage, {}}},
                          {},
                          5},
                    Fault{"disk full part-way",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) { os.faults.diskSpace = 4; },
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          112},
                    Fault{"disk full part-way into a temporary name",
                          "/e",
                          [](auto& os) { os.faults.diskSpace = 4; },
                          {{kTempPackage, {}}},
                          {},
                          112},
                    Fault{"target held by another program",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) { os.faults.failingMoves.insert(u"C:\\out\\sp.msp"); },
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          5},
                    // A write is on disk only once flushed and closed.
                    Fault{"flush fails",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) { os.faults.flushError = 1117; },  // ERROR_IO_DEVICE
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          1117},
                    Fault{"close reports a failure",
                          "/e C:\\out\\sp.msp",
                          [](auto& os) { os.faults.closeError = 112; },
                          {{u"C:\\out\\sp.msp", "previous"}},
                          {},
                          112}),
    test::DescriptionName());

INSTANTIATE_TEST_SUITE_P(
    PatchList, FaultMatrixTest,
    testing::Values(Fault{"list cannot be opened",
                          "/p C:\\list.txt",
                          [](auto& os) { os.faults.openErrors[u"C:\\list.txt"] = 32; },
                          {{u"C:\\list.txt", "old"}},
                          {kPatchListRequired},
                          32},
                    Fault{"list in a missing folder",
                          "/p C:\\none\\list.txt",
                          [](auto&) {},
                          {{u"C:\\none\\list.txt", {}}},
                          {kPatchListRequired},
                          3},
                    // What a host link looks like under Wine: a plain file that lies elsewhere.
                    Fault{"patch list that is a link",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.model.files[u"C:\\list.txt"].leadsTo = u"C:\\Windows\\win.ini";
                          },
                          {{u"C:\\list.txt", "old"}},
                          {kPatchListRequired},
                          1920},
                    Fault{"patch list in a folder that is a reparse point",
                          "/p C:\\out\\list.txt",
                          [](auto& os) { os.model.files[u"C:\\out"].reparsePoint = true; },
                          {{u"C:\\out\\list.txt", {}}},
                          {kPatchListRequired},
                          1920},
                    Fault{"no note at all",
                          "/p C:\\new.txt",
                          [](auto& os) {
                            os.model.resources.erase({u"TXT", u"#206"});
                          },
                          {{u"C:\\new.txt", ""}},
                          {kPatchListRequired},
                          1814},
                    Fault{"note of size 0",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.model.resources[{u"TXT", u"#206"}].bytes.clear();
                          },
                          {{u"C:\\list.txt", "old"}},
                          {Failed(1603)},
                          1603},
                    Fault{"note not loadable",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.model.resources[{u"TXT", u"#206"}].loadFails = true;
                          },
                          {{u"C:\\list.txt", "old"}},
                          {Failed(1812)},
                          1812},
                    Fault{"separator write fails",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.faults.failingWrites[{u"C:\\list.txt", 1}] = 112;
                          },
                          {{u"C:\\list.txt", "old"}},
                          {Failed(112)},
                          112},
                    Fault{"note write fails",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.faults.failingWrites[{u"C:\\list.txt", 2}] = 112;
                          },
                          {{u"C:\\list.txt", "old"}},
                          {Failed(112)},
                          112},
                    Fault{"line end write fails",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.faults.failingWrites[{u"C:\\list.txt", 3}] = 33;
                          },
                          {{u"C:\\list.txt", "old"}},
                          {Failed(33)},
                          33},
                    Fault{"note write fails and so does the cut-back",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.faults.failingWrites[{u"C:\\list.txt", 2}] = 112;
                            os.faults.setEndOfFileFails = true;
                          },
                          {{u"C:\\list.txt", "old*****\r\n"}},
                          {Failed(5)},
                          5},
                    Fault{"disk full in the second record",
                          "/p C:\\list.txt",
                          [](auto& os) {
                            os.model.AddResource(u"TXT", u"#207", "Second=1");
                            os.faults.diskSpace = kRecord.size() + 3;
                          },
                          {{u"C:\\list.txt", "old" + kRecord}},
                          {Failed(112)},
                          112},
                    Fault{"quiet: the same file, no message",
                          "/q /p C:\\list.txt",
                          [](auto& os) {
                            os.faults.failingWrites[{u"C:\\list.txt", 2}] = 112;
                          },
                          {{u"C:\\list.txt", "old"}},
                          {},
                          112}),
    test::DescriptionName());

INSTANTIATE_TEST_SUITE_P(
    Install, FaultMatrixTest,
    testing::Values(Fault{"extraction fails",
                          "",
                          [](auto& os) {
                            os.model.resources.erase({u"MSP", u"IDR_MSP_TB"});
                          },
                          {{kTempPackage, {}}},
                          {Failed(1814)},
                          1814},
                    Fault{"package not written whole: disk full part-way",
                          "",
                          [](auto& os) { os.faults.diskSpace = 4; },
                          {{kTempPackage, {}}},
                          {Failed(112)},
                          112},
                    Fault{"package cannot be reopened and held",
                          "",
                          [](auto& os) { os.faults.reopenErrors[kTempPackage] = 32; },
                          {{kTempPackage, kPackage}},
                          {Failed(32)},
                          32},
                    Fault{"package cannot be read back",
                          "",
                          [](auto& os) { os.faults.readErrors[kTempPackage] = 23; },
                          {{kTempPackage, kPackage}},
                          {Failed(23)},
                          23},
                    // Another process swaps its own package in before the hold.
                    Fault{"package replaced before it is held",
                          "",
                          [](auto& os) { os.faults.replacedAfterWrite[kTempPackage] = "other"; },
                          {{kTempPackage, "other"}},
                          {Failed(1603)},
                          1603},
                    // A link to an identical copy put in its place before the hold (what
                    // only a racer on Windows can do): same bytes, another file.
                    Fault{"package swapped for a copy before it is held",
                          "",
                          [](auto& os) { os.faults.swappedAfterWrite.insert(kTempPackage); },
                          {{kTempPackage, kPackage}},
                          {Failed(1603)},
                          1603},
                    Fault{"package path that no short form makes safe",
                          "",
                          [](auto& os) {
                            os.model.environment[u"TMP"] = u"C:\\a;b";
                            os.model.files[u"C:\\a;b"] = {true, {}};
                          },
                          {{u"C:\\a;b\\MSP2", kPackage}},
                          {Failed(123)},
                          123},
                    Fault{"package is not a patch package",
                          "",
                          [](auto& os) { os.faults.summaryOpenStatus = 1620; },
                          {{kTempPackage, kPackage}},
                          {Failed(1620)},
                          1620},
                    Fault{"target list unreadable after more data",
                          "",
                          [](auto& os) {
                            os.faults.summaryStatuses = {234, 1627};
                          },
                          {{kTempPackage, kPackage}},
                          {Failed(1627)},
                          1627},
                    Fault{"no upgrade version",
                          "",
                          [](auto& os) { os.model.strings[1033].erase(700); },
                          {{kTempPackage, kPackage}},
                          {Failed(1814)},
                          1814},
                    Fault{"no targeted product present",
                          "",
                          [](auto& os) { os.model.products[u"{A}"].state = 2; },
                          {{kTempPackage, kPackage}},
                          {kNoProduct},
                          1642},
                    Fault{"attributes unreadable",
                          "",
                          [](auto& os) { os.model.products[u"{A}"].info.clear(); },
                          {{kTempPackage, {}}},
                          {"Not for this version of ."},
                          1642},
                    Fault{"upgrade version met before the installed one",
                          "",
                          [](auto& os) { os.model.strings[1033][900] = u"9.1.031.0,9.1.030.0,"; },
                          {{kTempPackage, kPackage}},
                          {kUpToDate},
                          1603},
                    Fault{
                        "no candidate equals the installed version",
                        "",
                        [](auto& os) { os.model.products[u"{A}"].info[u"VersionString"] = u"8.0"; },
                        {{kTempPackage, {}}},
                        {kUnsupported},
                        1642},
                    Fault{"success",
                          "",
                          [](auto& os) {
                            Results(os, {0, 0});
                          },
                          {{kTempPackage, {}}},
                          {kInstalled},
                          0},
                    Fault{"restart required",
                          "",
                          [](auto& os) {
                            Results(os, {0, 3010});
                          },
                          {{kTempPackage, {}}},
                          {kInstalled},
                          3010},
                    Fault{"restart started",
                          "",
                          [](auto& os) {
                            Results(os, {1641, 0});
                          },
                          {{kTempPackage, {}}},
                          {kInstalled},
                          1641},
                    Fault{"user cancelled the first call",
                          "",
                          [](auto& os) { Results(os, {1602}); },
                          {{kTempPackage, {}}},
                          {Failed(1602)},
                          1602},
                    Fault{"fatal error in the first call",
                          "",
                          [](auto& os) { Results(os, {1603}); },
                          {{kTempPackage, {}}},
                          {Failed(1603)},
                          1603},
                    Fault{"another installation in the second call",
                          "",
                          [](auto& os) {
                            Results(os, {0, 1618});
                          },
                          {{kTempPackage, {}}},
                          {Failed(1618)},
                          1618},
                    Fault{"quiet: the same outcome, no message",
                          "/q",
                          [](auto& os) { Results(os, {1603}); },
                          {{kTempPackage, {}}},
                          {},
                          1603}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
