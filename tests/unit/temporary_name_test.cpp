#include "payload/temporary_name.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf8;

struct NameCase {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  std::optional<std::u16string> directory;
  const char* expected;
};

class MakeTemporaryNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(MakeTemporaryNameTest, ChoosesDirectoryAndNumber) {
  Machine m;
  GetParam().arrange(m.os);
  const auto name = m.process.temporaryNames.MakeTemporaryName(GetParam().directory, u"MSP");
  ASSERT_TRUE(name.ok());
  EXPECT_EQ(Utf8(*name), GetParam().expected);
}

void Nothing(test::RecordingPlatform&) {}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeTemporaryNameTest,
    testing::Values(
        NameCase{"temp path with backslash", Nothing, u"C:\\T\\", "C:\\T\\MSP2"},
        NameCase{"taken numbers are skipped",
                 [](auto& os) {
                   os.files[u"C:\\T\\MSP2"] = {};
                   os.files[u"C:\\T\\MSP3"] = {true, {}};
                 },
                 u"C:\\T\\", "C:\\T\\MSP4"},
        NameCase{"a name refused for access is skipped",
                 [](auto& os) { os.attributeErrors[u"C:\\T\\MSP2"] = 5; }, u"C:\\T\\",
                 "C:\\T\\MSP3"},
        NameCase{"other refusals are taken as free",
                 [](auto& os) { os.attributeErrors[u"C:\\T\\MSP2"] = 3; }, u"C:\\T\\",
                 "C:\\T\\MSP2"},
        NameCase{"TMP wins over the directory",
                 [](auto& os) {
                   os.environment[u"TMP"] = u"D:\\X";
                   os.files[u"D:\\X"] = {true, {}};
                 },
                 u"C:\\T\\", "D:\\X\\MSP2"},
        NameCase{"TMP naming a file counts as existing",
                 [](auto& os) {
                   os.environment[u"TMP"] = u"C:\\file";
                   os.files[u"C:\\file"] = {};
                 },
                 u"C:\\T\\", "C:\\file\\MSP2"},
        NameCase{"TMP naming nothing is passed over",
                 [](auto& os) { os.environment[u"TMP"] = u"D:\\gone"; }, u"C:\\T\\", "C:\\T\\MSP2"},
        NameCase{"empty TMP is passed over", [](auto& os) { os.environment[u"TMP"] = u""; },
                 u"C:\\T\\", "C:\\T\\MSP2"},
        NameCase{"missing directory: the root of the drive",
                 [](auto& os) { os.files.erase(u"C:\\T"); }, u"C:\\T\\", "\\MSP2"},
        NameCase{"no directory given: the root of the drive", Nothing, std::nullopt, "\\MSP2"},
        NameCase{"unreadable root: the current directory",
                 [](auto& os) {
                   os.files.erase(u"C:\\T");
                   os.attributeErrors[u"\\"] = 5;
                 },
                 u"C:\\T\\", ".\\MSP2"},
        NameCase{"a forward slash ends the directory too",
                 [](auto& os) {
                   os.environment[u"TMP"] = u"C:/tmp/";
                   os.files[u"C:/tmp"] = {true, {}};
                 },
                 std::nullopt, "C:/tmp/MSP2"}),
    test::DescriptionName());

TEST(MakeTemporaryName, TestsNamesUnderTheLock) {
  Machine m;
  m.os.files[u"C:\\T\\MSP2"] = {};
  (void)m.process.temporaryNames.MakeTemporaryName(u"C:\\T\\", u"MSP");
  EXPECT_EQ(m.os.log, (std::vector<std::string>{
                          "GetEnvironmentVariableW(TMP)",
                          "GetFileAttributesW(C:\\T\\)",
                          "EnterLock()",
                          "GetFileAttributesW(C:\\T\\MSP2)",
                          "GetFileAttributesW(C:\\T\\MSP3)",
                          "GetLastError()",
                          "LeaveLock()",
                      }));
}

TEST(MakeTemporaryName, LaterRequestsGoOnCounting) {
  Machine m;
  const std::optional<std::u16string> temp = u"C:\\T\\";
  EXPECT_EQ(Utf8(*m.process.temporaryNames.MakeTemporaryName(temp, u"MSP")), "C:\\T\\MSP2");
  EXPECT_EQ(Utf8(*m.process.temporaryNames.MakeTemporaryName(temp, u"MSP")), "C:\\T\\MSP3");
  // A longer prefix starts the count again; a shorter one goes on.
  EXPECT_EQ(Utf8(*m.process.temporaryNames.MakeTemporaryName(temp, u"MSPX")), "C:\\T\\MSPX2");
  EXPECT_EQ(Utf8(*m.process.temporaryNames.MakeTemporaryName(temp, u"M")), "C:\\T\\M3");
}

TEST(MakeTemporaryName, GivesUpAfterABoundedNumberOfNames) {
  Machine m;
  m.os.deniedPrefix = u"C:\\T\\MSP";
  EXPECT_FALSE(m.process.temporaryNames.MakeTemporaryName(u"C:\\T\\", u"MSP").ok());
  EXPECT_EQ(m.os.Calls({"GetFileAttributesW(C:\\T\\MSP"}).size(), kTemporaryNameAttempts);
  EXPECT_EQ(m.os.log.back(), "LeaveLock()");
}

}  // namespace
}  // namespace sp
