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
                   os.model.files[u"C:\\T\\MSP2"] = {};
                   os.model.files[u"C:\\T\\MSP3"] = {true, {}};
                 },
                 u"C:\\T\\", "C:\\T\\MSP4"},
        NameCase{"a name refused for access is skipped",
                 [](auto& os) { os.faults.attributeErrors[u"C:\\T\\MSP2"] = 5; }, u"C:\\T\\",
                 "C:\\T\\MSP3"},
        NameCase{"other refusals are taken as free",
                 [](auto& os) { os.faults.attributeErrors[u"C:\\T\\MSP2"] = 3; }, u"C:\\T\\",
                 "C:\\T\\MSP2"},
        NameCase{"TMP wins over the directory",
                 [](auto& os) {
                   os.model.environment[u"TMP"] = u"D:\\X";
                   os.model.files[u"D:\\X"] = {true, {}};
                 },
                 u"C:\\T\\", "D:\\X\\MSP2"},
        NameCase{"TMP naming a file counts as existing",
                 [](auto& os) {
                   os.model.environment[u"TMP"] = u"C:\\file";
                   os.model.files[u"C:\\file"] = {};
                 },
                 u"C:\\T\\", "C:\\file\\MSP2"},
        NameCase{"TMP naming nothing is passed over",
                 [](auto& os) { os.model.environment[u"TMP"] = u"D:\\gone"; }, u"C:\\T\\",
                 "C:\\T\\MSP2"},
        NameCase{"empty TMP is passed over", [](auto& os) { os.model.environment[u"TMP"] = u""; },
                 u"C:\\T\\", "C:\\T\\MSP2"},
        NameCase{"missing directory: the root of the drive",
                 [](auto& os) { os.model.files.erase(u"C:\\T"); }, u"C:\\T\\", "\\MSP2"},
        NameCase{"no directory given: the root of the drive", Nothing, std::nullopt, "\\MSP2"},
        NameCase{"unreadable root: the current directory",
                 [](auto& os) {
                   os.model.files.erase(u"C:\\T");
                   os.faults.attributeErrors[u"\\"] = 5;
                 },
                 u"C:\\T\\", ".\\MSP2"},
        NameCase{"a forward slash ends the directory too",
                 [](auto& os) {
                   os.model.environment[u"TMP"] = u"C:/tmp/";
                   os.model.files[u"C:/tmp"] = {true, {}};
                 },
                 std::nullopt, "C:/tmp/MSP2"}),
    test::DescriptionName());

TEST(MakeTemporaryName, TestsNamesUnderTheLock) {
  Machine m;
  m.os.model.files[u"C:\\T\\MSP2"] = {};
  (void)m.process.temporaryNames.MakeTemporaryName(u"C:\\T\\", u"MSP");
  EXPECT_EQ(m.os.log.all(), (std::vector<test::Call>{
                                {"GetEnvironmentVariableW", {"TMP"}},
                                {"GetFileAttributesW", {"C:\\T\\"}},
                                {"EnterLock", {}},
                                {"GetFileAttributesW", {"C:\\T\\MSP2"}},
                                {"GetFileAttributesW", {"C:\\T\\MSP3"}},
                                {"GetLastError", {}},
                                {"LeaveLock", {}},
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
  m.os.faults.deniedPrefix = u"C:\\T\\MSP";
  EXPECT_FALSE(m.process.temporaryNames.MakeTemporaryName(u"C:\\T\\", u"MSP").ok());
  const auto probes = m.os.log.ArgsOf("GetFileAttributesW");
  EXPECT_EQ(std::count_if(probes.begin(), probes.end(),
                          [](const auto& args) { return args.at(0).starts_with("C:\\T\\MSP"); }),
            kTemporaryNameAttempts);
  EXPECT_EQ(m.os.log.Names().back(), "LeaveLock");
}

}  // namespace
}  // namespace sp
