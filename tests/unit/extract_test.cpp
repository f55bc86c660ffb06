#include "payload/extract.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf8;

const std::string kPackage(test::kPackageBytes, sizeof test::kPackageBytes - 1);

class ExtractTest : public testing::Test {
 protected:
  Status Extract(std::u16string& path) {
    return ExtractPatchPackage(m.os, m.os.model.module, m.process.temporaryNames, path,
                               u"IDR_MSP_TB")
        .status();
  }

  Machine m;
};

TEST_F(ExtractTest, EmptyPathWritesANewTemporaryFile) {
  std::u16string path;
  ASSERT_TRUE(Extract(path).ok());

  EXPECT_EQ(Utf8(path), "C:\\T\\MSP2");
  EXPECT_EQ(m.os.model.FileText(u"C:\\T\\MSP2"), kPackage);
  EXPECT_EQ(m.os.log.Of({"GetTempPathW", "FindResourceW", "SizeofResource", "LoadResource",
                         "LockResource", "CreateFileW", "WriteFile", "CloseHandle"}),
            (std::vector<test::Call>{
                {"GetTempPathW", {"1024"}},
                {"FindResourceW", {"module", "IDR_MSP_TB", "MSP"}},
                {"SizeofResource", {"module", "resource MSP IDR_MSP_TB"}},
                {"LoadResource", {"module", "resource MSP IDR_MSP_TB"}},
                {"LockResource", {"resource MSP IDR_MSP_TB"}},
                {"CreateFileW", {"C:\\T\\MSP2", "0x40010000", "0", "1", "0x80"}},
                // The check of the new file: its folder's final path.
                {"CreateFileW", {"C:\\T", "0x0", "7", "3", "0x2200000"}},
                {"CloseHandle", {"file C:\\T"}},
                {"WriteFile", {"file C:\\T\\MSP2", std::to_string(kPackage.size())}},
                {"CloseHandle", {"file C:\\T\\MSP2"}},
            }));
}

TEST_F(ExtractTest, TwoExtractionsTakeRisingNumbers) {
  std::u16string first, second;
  ASSERT_TRUE(Extract(first).ok());
  ASSERT_TRUE(Extract(second).ok());
  EXPECT_EQ(Utf8(first), "C:\\T\\MSP2");
  EXPECT_EQ(Utf8(second), "C:\\T\\MSP3");
}

TEST_F(ExtractTest, ANameTakenBeforeTheCreateIsReplacedByTheNext) {
  // Another process creates MSP2 between the test of the name and the create.
  m.os.faults.openErrors[u"C:\\T\\MSP2"] = win::kErrorFileExists;
  std::u16string path;
  ASSERT_TRUE(Extract(path).ok());
  EXPECT_EQ(Utf8(path), "C:\\T\\MSP3");
  EXPECT_EQ(m.os.model.FileText(u"C:\\T\\MSP3"), kPackage);
}

TEST_F(ExtractTest, GivesUpWhenEveryNewNameIsTaken) {
  for (int n = 2; n < 40; ++n) {
    m.os.faults.openErrors[u"C:\\T\\MSP" + test::Utf16(std::to_string(n))] = win::kErrorFileExists;
  }
  std::u16string path;
  EXPECT_EQ(Extract(path).code(), win::kErrorFileExists);
  EXPECT_EQ(m.os.log.Count("CreateFileW"), 16u);
}

struct FailureCase {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  const char* pathAfter;
  std::uint32_t code;
};

class ExtractFailureTest : public ExtractTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(ExtractFailureTest, FailsWithoutLeavingAFile) {
  GetParam().arrange(m.os);
  const auto filesBefore = m.os.model.files;
  std::u16string path;

  EXPECT_EQ(Extract(path).code(), GetParam().code);

  EXPECT_EQ(Utf8(path), GetParam().pathAfter);
  EXPECT_EQ(m.os.model.files, filesBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ExtractFailureTest,
    testing::Values(
        FailureCase{"no temp path", [](auto& os) { os.model.tempPath.clear(); }, "", 3},
        FailureCase{"temp path too long",
                    [](auto& os) { os.model.tempPath = std::u16string(1100, u'x'); }, "", 1603},
        FailureCase{"no free name", [](auto& os) { os.faults.deniedPrefix = u"C:\\T\\MSP"; }, "",
                    5},
        FailureCase{"resource missing", [](auto& os) { os.model.resources.clear(); }, "C:\\T\\MSP2",
                    1814},
        FailureCase{"resource empty",
                    [](auto& os) { os.model.resources.begin()->second.bytes.clear(); },
                    "C:\\T\\MSP2", 1603},
        FailureCase{"resource not loadable",
                    [](auto& os) { os.model.resources.begin()->second.loadFails = true; },
                    "C:\\T\\MSP2", 1812},
        FailureCase{"resource not lockable",
                    [](auto& os) { os.model.resources.begin()->second.lockFails = true; },
                    "C:\\T\\MSP2", 1603},
        FailureCase{"create refused", [](auto& os) { os.faults.openErrors[u"C:\\T\\MSP2"] = 5; },
                    "C:\\T\\MSP2", 5},
        FailureCase{"disk full part-way", [](auto& os) { os.faults.diskSpace = 5; }, "C:\\T\\MSP2",
                    112},
        FailureCase{"short write reported as success",
                    [](auto& os) {
                      os.faults.partialWrites[{u"C:\\T\\MSP2", 1}] = 3;
                    },
                    "C:\\T\\MSP2", 1603}),
    test::DescriptionName());

TEST_F(ExtractTest, CallersPathIsReplacedWholeAndTheCounterStays) {
  m.os.model.files[u"C:\\out\\sp.msp"] = {false, test::Bytes(std::string(500, 'o'))};
  m.os.model.files[u"C:\\out"] = {true, {}};
  std::u16string path = u"C:\\out\\sp.msp";

  ASSERT_TRUE(Extract(path).ok());

  EXPECT_EQ(Utf8(path), "C:\\out\\sp.msp");
  EXPECT_EQ(m.os.model.FileText(u"C:\\out\\sp.msp"), kPackage);
  EXPECT_FALSE(m.os.model.Exists(u"C:\\out\\sp.msp.partial"));
  EXPECT_EQ(m.process.temporaryNames.counter(), 1u);
  const std::string staging = "C:\\out\\sp.msp.partial";
  EXPECT_EQ(m.os.log.Of({"CreateFileW", "WriteFile", "FlushFileBuffers", "CloseHandle",
                         "MoveFileReplaceW"}),
            (std::vector<test::Call>{
                {"CreateFileW", {staging, "0x40010000", "0", "1", "0x80"}},
                {"CreateFileW", {"C:\\out", "0x0", "7", "3", "0x2200000"}},
                {"CloseHandle", {"file C:\\out"}},
                {"WriteFile", {"file " + staging, std::to_string(kPackage.size())}},
                {"FlushFileBuffers", {"file " + staging}},
                {"CloseHandle", {"file " + staging}},
                {"MoveFileReplaceW", {staging, "C:\\out\\sp.msp"}},
            }));
}

TEST_F(ExtractTest, StagingNameOfTheUserIsLeftAlone) {
  m.os.model.files[u"C:\\sp.msp.partial"] = {false, test::Bytes("mine")};
  std::u16string path = u"C:\\sp.msp";
  ASSERT_TRUE(Extract(path).ok());
  EXPECT_EQ(m.os.model.FileText(u"C:\\sp.msp.partial"), "mine");
  EXPECT_FALSE(m.os.model.Exists(u"C:\\sp.msp.partial2"));
  EXPECT_EQ(m.os.model.FileText(u"C:\\sp.msp"), kPackage);
}

struct CallersPathFailure {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  std::uint32_t code;
};

class CallersPathFailureTest : public ExtractTest,
                               public testing::WithParamInterface<CallersPathFailure> {};

TEST_P(CallersPathFailureTest, KeepsWhatWasThere) {
  m.os.model.files[u"C:\\out"] = {true, {}};
  m.os.model.files[u"C:\\out\\sp.msp"] = {false, test::Bytes("previous")};
  GetParam().arrange(m.os);
  const auto filesBefore = m.os.model.files;
  std::u16string path = u"C:\\out\\sp.msp";

  EXPECT_EQ(Extract(path).code(), GetParam().code);

  EXPECT_EQ(m.os.model.files, filesBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CallersPathFailureTest,
    testing::Values(
        CallersPathFailure{"disk full", [](auto& os) { os.faults.diskSpace = 4; }, 112},
        CallersPathFailure{"write refused",
                           [](auto& os) {
                             os.faults.failingWrites[{u"C:\\out\\sp.msp.partial", 1}] = 33;
                           },
                           33},
        CallersPathFailure{"target in use",
                           [](auto& os) { os.faults.failingMoves.insert(u"C:\\out\\sp.msp"); }, 5},
        CallersPathFailure{"folder missing", [](auto& os) { os.model.files.erase(u"C:\\out"); }, 3},
        CallersPathFailure{"target is a folder",
                           [](auto& os) {
                             os.model.files[u"C:\\out\\sp.msp"] = {true, {}};
                           },
                           5},
        CallersPathFailure{"resource missing", [](auto& os) { os.model.resources.clear(); }, 1814}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
