// The administrator modes as the main routine runs them: what each leaves on
// disk, what it shows and the exit code it reports.
#include <gtest/gtest.h>

#include "app/service_pack_main.h"
#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;

const std::string kPackage(test::kPackageBytes, sizeof test::kPackageBytes - 1);
const std::string kRecord = std::string("*****\r\n") + test::kNote206 + "\r\n";

class ModesTest : public testing::Test {
 protected:
  ModesTest() { m.os.model.summaryText = u"{A};{B}"; }

  std::uint32_t Run(const char* arguments) {
    m.os.model.commandLine = u"servicepack.exe " + test::Utf16(arguments);
    return ServicePackMain(m.process);
  }

  Machine m;
};

TEST_F(ModesTest, ExtractWritesThePackageAndShowsNothing) {
  EXPECT_EQ(Run("/e C:\\sp.msp"), 0u);
  EXPECT_EQ(m.os.model.FileText(u"C:\\sp.msp"), kPackage);
  EXPECT_TRUE(m.os.log.Boxes().empty());
}

TEST_F(ModesTest, ExtractAloneWritesTheFirstTemporaryName) {
  EXPECT_EQ(Run("/e"), 0u);
  EXPECT_EQ(m.os.model.FileText(u"C:\\T\\MSP2"), kPackage);
  EXPECT_EQ(test::Utf8(m.process.options.extractionPath), "C:\\T\\MSP2");
}

TEST_F(ModesTest, ExtractFollowedByQuietWritesToThatPath) {
  EXPECT_EQ(Run("/e /q"), 0u);
  EXPECT_EQ(m.os.model.FileText(u"/q"), kPackage);
}

TEST_F(ModesTest, ExtractFailureReportsTheErrorButNoMessage) {
  EXPECT_EQ(Run("/e C:\\missing\\sp.msp"), 3u);
  EXPECT_TRUE(m.os.log.Boxes().empty());
  m.os.model.resources.clear();
  EXPECT_EQ(Run("/e C:\\sp.msp"), 1814u);
}

TEST_F(ModesTest, ExtractAndPatchListRunInThatOrder) {
  EXPECT_EQ(Run("/p C:\\list.txt /e C:\\sp.msp"), 0u);
  EXPECT_EQ(m.os.model.FileText(u"C:\\sp.msp"), kPackage);
  EXPECT_EQ(m.os.model.FileText(u"C:\\list.txt"), kRecord);
  const std::vector<std::string> names = m.os.log.Names();
  const auto moved = std::find(names.begin(), names.end(), "MoveFileReplaceW");
  const auto listOpened =
      std::find(m.os.log.all().begin(), m.os.log.all().end(),
                test::Call{"CreateFileW", {"C:\\list.txt", "0xc0010000", "1", "1", "0x80"}});
  ASSERT_NE(moved, names.end());
  ASSERT_NE(listOpened, m.os.log.all().end());
  EXPECT_LT(moved - names.begin(), listOpened - m.os.log.all().begin());
  for (const std::string& name : names) {
    EXPECT_FALSE(name.starts_with("Msi")) << name;
  }
}

TEST_F(ModesTest, FirstFailingModeDecidesTheExitCode) {
  m.os.faults.openErrors[u"C:\\list.txt"] = 32;
  EXPECT_EQ(Run("/e C:\\missing\\sp.msp /p C:\\list.txt"), 3u);
  // Both modes ran; the later failure is reported in its box only.
  EXPECT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(Run("/e C:\\sp.msp /p C:\\list.txt"), 32u);
}

TEST_F(ModesTest, ListShowsTheTargetCodesEvenWhenQuiet) {
  for (const char* arguments : {"/i", "/q /i", "/passive /i", "/I /e C:\\x.msp"}) {
    m.os.log.clear();
    EXPECT_EQ(Run(arguments), 0u);
    ASSERT_EQ(m.os.log.Boxes().size(), 1u) << arguments;
    EXPECT_EQ(m.os.log.Boxes()[0].text, "{A};{B}");
    EXPECT_EQ(m.os.log.Boxes()[0].caption, "List of Products");
    EXPECT_EQ(m.os.log.Boxes()[0].style, 0x50000u);
  }
  EXPECT_FALSE(m.os.model.Exists(u"C:\\x.msp"));
  // Each run's temporary package stays where it was written.
  EXPECT_TRUE(m.os.model.Exists(u"C:\\T\\MSP2"));
}

TEST_F(ModesTest, ListThatCannotReadShowsAnEmptyBoxAndFails) {
  m.os.faults.summaryOpenStatus = 1620;
  EXPECT_EQ(Run("/i"), 1620u);
  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "");

  m.os.model.resources.clear();
  m.os.faults.summaryOpenStatus.reset();
  EXPECT_EQ(Run("/i"), 1814u);
  EXPECT_EQ(m.os.log.Boxes().at(1).text, "");
}

TEST_F(ModesTest, HelpShowsOneBoxAndDoesNothingElse) {
  m.os.model.AddCatalogue(1033,
                          {{316, u"Options:\n/q: quiet"}, {317, u""}, {319, u"/?: this help"}});
  const auto files = m.os.model.files;
  for (const char* arguments : {"/?", "/q /h", "/HELP /e C:\\x.msp", "/passive /help /i"}) {
    m.os.log.clear();
    EXPECT_EQ(Run(arguments), 0u) << arguments;
    // Beside reading the command line and the catalogue, only the box.
    std::vector<test::Call> others;
    for (const test::Call& call : m.os.log.all()) {
      if (call.name != "GetUserDefaultUILanguage" && call.name != "GetUserDefaultLCID" &&
          call.name != "FindResourceExW" && call.name != "SizeofResource" &&
          call.name != "LoadResource" && call.name != "LockResource" &&
          call.name != "GetLastError") {
        others.push_back(call);
      }
    }
    EXPECT_EQ(
        others,
        (std::vector<test::Call>{
            {"RtlGetVersion", {}},
            {"GetProcessWindowStation", {}},
            {"GetUserObjectInformationW", {"window station"}},
            {"GetCurrentProcessId", {}},
            {"ProcessIdToSessionId", {"4242"}},
            {"GetTokenElevation", {}},
            {"GetCommandLineW", {}},
            {"CommandLineToArgvW", {"servicepack.exe " + std::string(arguments)}},
            {"MessageBoxW", {"Options:\n/q: quiet\n/?: this help", "Service Pack", "0x50040"}}}))
        << arguments;
    EXPECT_EQ(m.os.model.files, files) << arguments;
  }
}

TEST_F(ModesTest, HelpSpeaksTheUsersUILanguageNotTheThreadLocales) {
  m.os.model.AddCatalogue(1033, {{316, u"Options:"}, {317, u"/q: quiet"}});
  m.os.model.AddCatalogue(1031, {{316, u"Optionen:"}, {317, u"/q: still"}});
  m.os.model.AddCatalogue(1036, {{316, u"Options :"}, {317, u"/q : silencieux"}});
  m.os.model.threadLocale = 1036;
  m.os.model.uiLanguage = 1031;
  Run("/?");
  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "Optionen:\n/q: still");
}

}  // namespace
}  // namespace sp
