#include "install/apply.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/service_pack_main.h"
#include "fixtures.h"

namespace sp {
namespace {

using test::Call;
using test::Machine;

const Call kFirst{"MsiConfigureProductExW",
                  {"{A}", "0", "5",
                   "PATCH=\"C:\\T\\MSP2\" REBOOTPROMPT=S FILESINUSETEXT=\"Close these:\" "
                   "REINSTALL=ALL REINSTALLMODE=emus"}};
const Call kSecond{"MsiConfigureProductExW",
                   {"{A}", "0", "5", "PATCH=\"C:\\T\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus"}};
const Call kLocale{"SetThreadLocale", {"1033"}};
const Call kLog{"MsiEnableLogW", {"0x1000", "C:\\T\\Alpha.log", "0"}};
const Call kDelete{"DeleteFileW", {"C:\\T\\MSP2"}};

Call Box(const std::string& text, const char* caption, const char* style) {
  return Call{"MessageBoxW", {text, caption, style}};
}

class ApplyTest : public testing::Test {
 protected:
  ApplyTest() {
    m.os.model.summaryText = u"{A}";
    m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");
  }

  // What the driver did after discovery: locale, logs, reconfigurations,
  // messages and the deletion of the package.
  std::vector<Call> Effects() const {
    return m.os.log.Of({"SetThreadLocale", "MsiEnableLogW", "MsiConfigureProductExW", "MessageBoxW",
                        "DeleteFileW"});
  }

  Machine m;
};

struct OutcomeCase {
  const char* description;
  const char16_t* installed;
  std::deque<std::uint32_t> results;
  std::vector<Call> effects;  // after the locale and the log
  bool completed;
  std::uint32_t exitCode;
  // The version the reconfigurations leave; the upgrade version when unset.
  std::optional<std::u16string> after = std::nullopt;
};

class OutcomeTest : public ApplyTest, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(OutcomeTest, CallsReportsAndExitCode) {
  const OutcomeCase& c = GetParam();
  m.os.model.products[u"{A}"].info[u"VersionString"] = c.installed;
  m.os.model.products[u"{A}"].configureResults = c.results;
  m.os.model.products[u"{A}"].versionAfterPatch = c.after;

  const InstallOutcome outcome = Apply(m);

  std::vector<Call> expected = {kLocale, kLog};
  expected.insert(expected.end(), c.effects.begin(), c.effects.end());
  EXPECT_EQ(Effects(), expected);
  EXPECT_EQ(outcome.completed, c.completed);
  EXPECT_EQ(outcome.exitCode, c.exitCode);
  EXPECT_EQ(m.os.model.Exists(u"C:\\T\\MSP2"), !c.completed);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeTest,
    testing::Values(
        OutcomeCase{"up to date",
                    u"9.1.31.0",
                    {},
                    {Call{"SetThreadLocale", {"1024"}},
                     Box("Alpha is up-to-date", "Installation Unnecessary", "0x50010"), kDelete},
                    true,
                    0},
        OutcomeCase{
            "not a supported version",
            u"9.1.029.0",
            {},
            {Box("Not for this version of Alpha.", "Installation Error", "0x50010"), kDelete},
            true,
            1642},
        OutcomeCase{
            "first call fails",
            u"9.1.030.0",
            {1603},
            {kFirst, Box("Failed.\n\n Error Code: 1603", "Installation Error", "0x50010"), kDelete},
            true,
            1603},
        OutcomeCase{"second call fails",
                    u"9.1.030.0",
                    {0, 1605},
                    {kFirst, kSecond,
                     Box("Failed.\n\n Error Code: 1605", "Installation Error", "0x50010"), kDelete},
                    true,
                    1605},
        OutcomeCase{"both calls succeed",
                    u"9.1.030.0",
                    {0, 0},
                    {kFirst, kSecond, Box("Installed Alpha.", "Installation Successful", "0x50040"),
                     kDelete},
                    true,
                    0},
        OutcomeCase{"restart required after the first",
                    u"9.1.030.0",
                    {3010, 0},
                    {kFirst, kSecond, Box("Installed Alpha.", "Installation Successful", "0x50040"),
                     kDelete},
                    true,
                    3010},
        OutcomeCase{"restart started by the first",
                    u"9.1.030.0",
                    {1641, 3010},
                    {kFirst, kSecond, Box("Installed Alpha.", "Installation Successful", "0x50040"),
                     kDelete},
                    true,
                    1641},
        OutcomeCase{"success that leaves the version",
                    u"9.1.030.0",
                    {0, 0},
                    {kFirst, kSecond,
                     Box("Failed.\n\n Error Code: 1603", "Installation Error", "0x50010"), kDelete},
                    true,
                    1603,
                    u"9.1.030.0"},
        OutcomeCase{"restart required, the version raised",
                    u"9.1.030.0",
                    {0, 3010},
                    {kFirst, kSecond, Box("Installed Alpha.", "Installation Successful", "0x50040"),
                     kDelete},
                    true,
                    3010,
                    u"9.1.31.0"},
        OutcomeCase{"version read back empty",
                    u"9.1.030.0",
                    {0, 0},
                    {kFirst, kSecond,
                     Box("Failed.\n\n Error Code: 1603", "Installation Error", "0x50010"), kDelete},
                    true,
                    1603,
                    u""},
        OutcomeCase{"restart required, then failure",
                    u"9.1.030.0",
                    {3010, 1603},
                    {kFirst, kSecond,
                     Box("Failed.\n\n Error Code: 1603", "Installation Error", "0x50010"), kDelete},
                    true,
                    1603}),
    test::DescriptionName());

TEST_F(ApplyTest, UpgradeBeforeTheInstalledVersionStopsTheRun) {
  m.os.model.strings[1033][900] = u"9.1.031.0,9.1.030.0,";
  m.os.model.AddProduct(u"{B}", u"Beta", u"1031", u"9.1.030.0");
  m.os.model.summaryText = u"{A};{B}";

  const InstallOutcome outcome = Apply(m);

  EXPECT_EQ(Effects(),
            (std::vector<Call>{kLocale, kLog,
                               Box("Alpha is up-to-date", "Installation Unnecessary", "0x50010")}));
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(outcome.exitCode, 1603u);
  EXPECT_TRUE(m.os.model.Exists(u"C:\\T\\MSP2"));

  // A product that failed before the stop decides the exit code.
  m.os.log.clear();
  m.process.targetProducts.clear();
  m.os.model.AddProduct(u"{C}", u"Gamma", u"1033", u"9.1.029.0");
  m.os.model.strings[1033][900] = u"9.1.029.0,9.1.031.0,9.1.030.0,";
  m.os.model.products[u"{C}"].configureResults = {1618};
  m.os.model.summaryText = u"{C};{A};{B}";
  EXPECT_EQ(Apply(m).exitCode, 1618u);
  EXPECT_EQ(m.os.log.BoxTexts().size(), 2u);
}

TEST_F(ApplyTest, ExtractionFailureShows300WithItsCode) {
  m.os.model.resources.clear();
  const InstallOutcome outcome = Apply(m);
  EXPECT_EQ(
      Effects(),
      (std::vector<Call>{Box("Failed.\n\n Error Code: 1814", "Installation Error", "0x50010")}));
  EXPECT_EQ(outcome.exitCode, 1814u);
  EXPECT_EQ(m.os.log.Count("MsiGetSummaryInformationW"), 0u);
}

TEST_F(ApplyTest, DiscoveryFailureShowsOnlyItsOwnMessage) {
  m.os.model.strings[1033].erase(700);
  const InstallOutcome outcome = Apply(m);
  EXPECT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(outcome.exitCode, 1814u);
  EXPECT_TRUE(m.os.model.Exists(u"C:\\T\\MSP2"));
}

TEST_F(ApplyTest, NoTargetedProductShows307) {
  for (const char16_t* codes : {u"{X};{Y}", u"", u";{A}"}) {
    m.os.log.clear();
    m.os.model.summaryText = codes;
    const InstallOutcome outcome = Apply(m);
    ASSERT_EQ(m.os.log.Boxes().size(), 1u);
    EXPECT_EQ(m.os.log.Boxes()[0].text, "No Corvane product.\nCheck.");
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.exitCode, 1642u);
  }
  EXPECT_TRUE(m.os.log.Of({"MsiEnableLogW", "DeleteFileW"}).empty());
}

TEST_F(ApplyTest, EveryProductUpToDateGivesOne306InTheUsersLanguage) {
  m.os.model.AddCatalogue(1031, {{306, u"%s ist aktuell"}, {313, u"Nicht erforderlich"}});
  m.os.model.userDefaultLocale = 1031;
  m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.031.0");
  m.os.model.AddProduct(u"{B}", u"Beta", u"1036", u"9.1.031.0");
  m.os.model.summaryText = u"{A};{B}";

  const InstallOutcome outcome = Apply(m);

  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "Beta ist aktuell");
  EXPECT_EQ(m.os.log.ArgsOf("SetThreadLocale").back(), (std::vector<std::string>{"1024"}));
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_FALSE(m.os.model.Exists(u"C:\\T\\MSP2"));
}

TEST_F(ApplyTest, OneUpToDateAndOnePatchedGivesOnly301) {
  m.os.model.AddProduct(u"{B}", u"Beta", u"1033", u"9.1.031.0");
  m.os.model.summaryText = u"{B};{A}";
  EXPECT_EQ(Apply(m).exitCode, 0u);
  ASSERT_EQ(m.os.log.Boxes().size(), 1u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "Installed Alpha.");
}

TEST_F(ApplyTest, ExitCodeTakesTheFirstFailureInProductOrder) {
  // Each run starts from the candidate versions again: a patched product moves on.
  const auto rerun = [this] {
    m.process.targetProducts.clear();
    m.os.model.products[u"{A}"].info[u"VersionString"] = u"9.1.030.0";
    m.os.model.products[u"{B}"].info[u"VersionString"] = u"9.1.030.0";
  };
  m.os.model.AddProduct(u"{B}", u"Beta", u"1033", u"9.1.030.0");
  m.os.model.AddProduct(u"{C}", u"Gamma", u"1033", u"8.0.0.0");
  m.os.model.products[u"{A}"].configureResults = {1641, 0};
  m.os.model.products[u"{B}"].configureResults = {1605};
  m.os.model.summaryText = u"{C};{A};{B}";
  EXPECT_EQ(Apply(m).exitCode, 1605u);

  rerun();
  m.os.model.products[u"{B}"].configureResults = {0, 3010};
  EXPECT_EQ(Apply(m).exitCode, 1642u);

  rerun();
  m.os.model.summaryText = u"{B};{A}";
  m.os.model.products[u"{A}"].configureResults = {0, 3010};
  m.os.model.products[u"{B}"].configureResults = {1641, 0};
  EXPECT_EQ(Apply(m).exitCode, 1641u);

  // Two failures with different codes: the earlier product's.
  for (const char16_t* order : {u"{B};{A}", u"{A};{B}"}) {
    rerun();
    m.os.model.summaryText = order;
    m.os.model.products[u"{A}"].configureResults = {1603};
    m.os.model.products[u"{B}"].configureResults = {0, 1618};
    EXPECT_EQ(Apply(m).exitCode, order[1] == u'B' ? 1618u : 1603u) << test::Utf8(order);
  }
}

TEST_F(ApplyTest, AProductTheInstallerLeftWhereItWasFailsAndThePatchedOneSucceeds) {
  for (const char16_t* order : {u"{A};{B}", u"{B};{A}"}) {
    m.os.log.clear();
    m.process.targetProducts.clear();
    m.os.model.summaryText = order;
    m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");
    m.os.model.products[u"{A}"].versionAfterPatch = u"9.1.030.0";
    m.os.model.AddProduct(u"{B}", u"Beta", u"1033", u"9.1.030.0");

    EXPECT_EQ(Apply(m).exitCode, 1603u) << test::Utf8(order);

    const std::vector<std::string> alpha = {"Failed.\n\n Error Code: 1603"};
    const std::vector<std::string> beta = {"Installed Beta."};
    std::vector<std::string> expected = order[1] == u'A' ? alpha : beta;
    expected.push_back(order[1] == u'A' ? beta[0] : alpha[0]);
    EXPECT_EQ(m.os.log.BoxTexts(), expected) << test::Utf8(order);
    EXPECT_EQ(m.os.log.Count("MsiConfigureProductExW"), 4u);
  }
}

TEST_F(ApplyTest, TheVersionIsReadBackRightAfterTheSecondCallOnly) {
  Apply(m);
  const std::vector<Call>& calls = m.os.log.all();
  const auto second = std::find(calls.begin(), calls.end(), kSecond);
  ASSERT_NE(second, calls.end());
  EXPECT_EQ(*(second + 1), (Call{"MsiGetProductInfoW", {"{A}", "VersionString", "1024"}}));
  // Discovery's three reads and the one after the second call.
  EXPECT_EQ(m.os.log.Count("MsiGetProductInfoW"), 4u);

  m.os.log.clear();
  m.process.targetProducts.clear();
  m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");
  m.os.model.products[u"{A}"].configureResults = {1603};
  Apply(m);
  EXPECT_EQ(m.os.log.Count("MsiGetProductInfoW"), 3u);
}

TEST_F(ApplyTest, AProductListedTwiceIsHandledTwice) {
  m.os.model.summaryText = u"{A};{A}";
  Apply(m);
  EXPECT_EQ(m.os.log.Of({"MsiEnableLogW"}), (std::vector<Call>{kLog, kLog}));
  EXPECT_EQ(m.os.log.Of({"MsiConfigureProductExW"}),
            (std::vector<Call>{kFirst, kSecond, kFirst, kSecond}));
}

TEST_F(ApplyTest, AProductListedTwiceWhoseFirstCallsFailIsCalledTwice) {
  m.os.model.summaryText = u"{A};{A}";
  m.os.model.products[u"{A}"].configureResults = {1603, 1603};
  Apply(m);
  EXPECT_EQ(m.os.log.Of({"MsiConfigureProductExW"}), (std::vector<Call>{kFirst, kFirst}));
}

TEST_F(ApplyTest, EachProductSpeaksItsOwnLanguage) {
  m.os.model.AddCatalogue(1031, {{301, u"%s wurde aktualisiert."},
                                 {302, u"Schliessen Sie:"},
                                 {312, u"Installation erfolgreich"}});
  m.os.model.AddProduct(u"{B}", u"Beta", u"1031", u"9.1.030.0");
  m.os.model.AddProduct(u"{C}", u"Gamma", u"", u"9.1.030.0");
  m.os.model.summaryText = u"{B};{A};{C}";

  Apply(m);

  EXPECT_EQ(m.os.log.ArgsOf("SetThreadLocale"),
            (std::vector<std::vector<std::string>>{{"1031"}, {"1033"}, {"0"}}));
  ASSERT_EQ(m.os.log.Boxes().size(), 3u);
  EXPECT_EQ(m.os.log.Boxes()[0].text, "Beta wurde aktualisiert.");
  EXPECT_EQ(m.os.log.Boxes()[0].caption, "Installation erfolgreich");
  EXPECT_EQ(m.os.log.Boxes()[1].text, "Installed Alpha.");
  // A language the locale call refuses leaves the previous one in place.
  EXPECT_EQ(m.os.log.Boxes()[2].text, "Installed Gamma.");
  const auto reconfigurations = m.os.log.ArgsOf("MsiConfigureProductExW");
  ASSERT_FALSE(reconfigurations.empty());
  EXPECT_EQ(reconfigurations[0].at(0), "{B}");
  EXPECT_NE(reconfigurations[0].at(3).find("FILESINUSETEXT=\"Schliessen Sie:\""),
            std::string::npos);
  EXPECT_EQ(test::Utf8(m.process.currentProductName), "Gamma");
}

TEST_F(ApplyTest, QuietRunsEverythingButShowsNothing) {
  m.process.options.quiet = true;
  const InstallOutcome outcome = Apply(m);
  EXPECT_EQ(m.os.log.all().at(0), (Call{"MsiSetInternalUI", {"2"}}));
  EXPECT_EQ(Effects(), (std::vector<Call>{kLocale, kLog, kFirst, kSecond, kDelete}));
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_TRUE(m.os.log.Boxes().empty());
}

TEST_F(ApplyTest, WithoutQuietTheInstallersInterfaceIsLeftAlone) {
  Apply(m);
  EXPECT_EQ(m.os.log.Count("MsiSetInternalUI"), 0u);
}

struct ChoiceCase {
  const char* description;
  bool quiet;
  bool passive;
  bool noRestart;
  std::vector<std::string> uiLevels;  // MsiSetInternalUI, the first calls of the run
  std::size_t boxes;
  const char* restart;  // what both command lines end with
};

class InstallChoiceTest : public ApplyTest, public testing::WithParamInterface<ChoiceCase> {};

TEST_P(InstallChoiceTest, SetsTheInterfaceOnceAndEndsBothCommandLines) {
  const ChoiceCase& c = GetParam();
  m.process.options.quiet = c.quiet;
  m.process.options.passive = c.passive;
  m.process.options.noRestart = c.noRestart;

  EXPECT_EQ(Apply(m).exitCode, 0u);

  std::vector<Call> expected;
  for (const std::string& level : c.uiLevels) {
    expected.push_back(Call{"MsiSetInternalUI", {level}});
  }
  EXPECT_EQ(m.os.log.Of({"MsiSetInternalUI"}), expected);
  ASSERT_GE(m.os.log.all().size(), expected.size());
  EXPECT_EQ(
      std::vector<Call>(m.os.log.all().begin(), m.os.log.all().begin() + std::ssize(expected)),
      expected);
  EXPECT_EQ(m.os.log.Boxes().size(), c.boxes);
  const auto ending = [&c](Call call) {
    call.args.at(3) += c.restart;
    return call;
  };
  EXPECT_EQ(m.os.log.Of({"MsiConfigureProductExW"}),
            (std::vector<Call>{ending(kFirst), ending(kSecond)}));
}

INSTANTIATE_TEST_SUITE_P(
    Choices, InstallChoiceTest,
    testing::Values(
        ChoiceCase{"neither", false, false, false, {}, 1, ""},
        ChoiceCase{"quiet", true, false, false, {"2"}, 0, ""},
        ChoiceCase{"passive", false, true, false, {"99"}, 0, ""},
        ChoiceCase{"quiet wins over passive", true, true, false, {"2"}, 0, ""},
        ChoiceCase{"no restart", false, false, true, {}, 1, " REBOOT=ReallySuppress"},
        ChoiceCase{
            "passive without restart", false, true, true, {"99"}, 0, " REBOOT=ReallySuppress"}),
    test::DescriptionName());

TEST_F(ApplyTest, LogsGoToCWhenTheTemporaryDirectoryIsUnusable) {
  m.os.model.environment[u"TMP"] = u"C:\\T";  // the package still has a home
  m.os.model.files.erase(u"C:\\T");
  m.os.model.files[u"C:\\T"] = {true, {}};
  m.os.faults.failingCreateDirectory.insert(u"C:\\Temp");
  m.os.model.tempPath = u"C:\\Temp\\";
  Apply(m);
  EXPECT_EQ(m.os.log.ArgsOf("MsiEnableLogW"),
            (std::vector<std::vector<std::string>>{{"0x1000", "c:\\Alpha.log", "0"}}));
}

TEST_F(ApplyTest, CommandLinesAreBuiltWhole) {
  // The longest the parts can be: a package path that still resolves within 260
  // characters and a 255-character prompt.
  const std::u16string deep = u"C:\\" + std::u16string(250, u'd');
  m.os.model.files[deep] = {true, {}};
  m.os.model.environment[u"TMP"] = deep;
  const std::u16string prompt(255, u'p');
  m.os.model.strings[1033][302] = prompt;
  Apply(m);
  const auto calls = m.os.log.ArgsOf("MsiConfigureProductExW");
  ASSERT_EQ(calls.size(), 2u);
  const std::string package = test::Utf8(deep) + "\\MSP2";
  EXPECT_EQ(calls[0].at(3), "PATCH=\"" + package + "\" REBOOTPROMPT=S FILESINUSETEXT=\"" +
                                test::Utf8(prompt) + "\" REINSTALL=ALL REINSTALLMODE=emus");
  EXPECT_EQ(test::Utf8(m.process.targetProducts[0]->commandLine),
            "PATCH=\"" + package + "\" REINSTALL=ALL REINSTALLMODE=emus");
}

TEST_F(ApplyTest, ALogPathThatIsNotAPlainFileTurnsLoggingOffAndTheRunGoesOn) {
  m.os.model.files[u"C:\\T\\Alpha.log"] = {true, {}};
  EXPECT_EQ(Apply(m).exitCode, 0u);
  EXPECT_EQ(m.os.log.ArgsOf("MsiEnableLogW"),
            (std::vector<std::vector<std::string>>{{"0x0", "", "0"}}));
  EXPECT_EQ(m.os.log.Count("MsiConfigureProductExW"), 2u);
}

TEST_F(ApplyTest, ThePackageIsHeldFromItsCheckUntilItIsDeleted) {
  Apply(m);
  const std::vector<Call> calls = m.os.log.Of(
      {"CreateFileW", "ReadFile", "CloseHandle", "MsiConfigureProductExW", "DeleteFileW"});
  const auto at = [&calls](const Call& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  const Call held{"CreateFileW", {"C:\\T\\MSP2", "0x80000000", "1", "3", "0x80"}};
  const Call released{"CloseHandle", {"file C:\\T\\MSP2"}};
  ASSERT_LT(at(held), std::ssize(calls));
  // The check's own look at the folder comes between; the next read is the package's.
  const auto read = std::find_if(calls.begin() + at(held), calls.end(),
                                 [](const Call& call) { return call.name == "ReadFile"; });
  ASSERT_NE(read, calls.end());
  EXPECT_EQ(read->args.at(0), "file C:\\T\\MSP2");
  // The hold is the last handle on the package: find the release after the calls.
  const auto lastRelease =
      std::find(calls.rbegin(), calls.rend(), released).base() - calls.begin() - 1;
  EXPECT_LT(at(held), at(kFirst));
  EXPECT_GT(lastRelease, at(kSecond));
  EXPECT_EQ(calls.at(static_cast<std::size_t>(lastRelease) + 1), kDelete);
}

TEST_F(ApplyTest, TheProductLogIsHeldFromBeforeItIsEnabledUntilAfterTheLastCall) {
  m.os.model.files[u"C:\\T\\Alpha.log"] = {false, test::Bytes("an earlier run's log")};
  Apply(m);
  const std::vector<Call> calls =
      m.os.log.Of({"CreateFileW", "CloseHandle", "MsiEnableLogW", "MsiConfigureProductExW"});
  const Call held{"CreateFileW", {"C:\\T\\Alpha.log", "0x82", "3", "3", "0x80"}};
  const Call released{"CloseHandle", {"file C:\\T\\Alpha.log"}};
  const auto held_at = std::find(calls.begin(), calls.end(), held);
  ASSERT_NE(held_at, calls.end());
  const std::vector<Call> after(held_at + 1, calls.end());
  // After the check's look at the folder: enabled, used, then let go.
  ASSERT_GE(after.size(), 6u);
  EXPECT_EQ(std::vector<Call>(after.begin() + 2, after.begin() + 6),
            (std::vector<Call>{kLog, kFirst, kSecond, released}));
  // The earlier run's log went first: the installer writes into a new file.
  EXPECT_EQ(m.os.model.FileText(u"C:\\T\\Alpha.log"), "configure {A}\r\nconfigure {A}\r\n");
}

TEST_F(ApplyTest, APackagePathWithASemicolonTakesItsShortForm) {
  m.os.model.environment[u"TMP"] = u"C:\\a;b";
  m.os.model.files[u"C:\\a;b"] = {true, {}};
  m.os.model.shortNames[u"C:\\a;b\\MSP2"] = u"C:\\AB~1\\MSP2";
  EXPECT_EQ(Apply(m).exitCode, 0u);
  const auto calls = m.os.log.ArgsOf("MsiConfigureProductExW");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].at(3), "PATCH=\"C:\\AB~1\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus");
  EXPECT_FALSE(m.os.model.Exists(u"C:\\a;b\\MSP2"));
}

TEST_F(ApplyTest, ANameTooLongForAnyLogTurnsLoggingOff) {
  m.os.model.AddProduct(u"{A}", std::u16string(1023, u'n'), u"1033", u"9.1.030.0");
  Apply(m);
  EXPECT_EQ(m.os.log.ArgsOf("MsiEnableLogW"),
            (std::vector<std::vector<std::string>>{{"0x0", "", "0"}}));
  EXPECT_EQ(m.os.log.Count("MsiConfigureProductExW"), 2u);
}

TEST_F(ApplyTest, AProductWithoutAReadableNameIsLoggedUnderItsCode) {
  // Longer than the 1024-character buffer: the name reads as none.
  m.os.model.AddProduct(u"{A}", std::u16string(1024, u'n'), u"1033", u"9.1.030.0");
  m.os.model.AddProduct(u"{B}", u"", u"1033", u"9.1.030.0");
  m.os.model.summaryText = u"{A};{B}";
  Apply(m);
  EXPECT_EQ(m.os.log.ArgsOf("MsiEnableLogW"),
            (std::vector<std::vector<std::string>>{{"0x1000", "C:\\T\\{A}.log", "0"},
                                                   {"0x1000", "C:\\T\\{B}.log", "0"}}));
  EXPECT_TRUE(m.process.targetProducts[0]->productName.empty());
}

// Boxes that belong to no product speak the user's UI language (French here),
// which is neither the thread's start locale nor the user's default locale
// (German); a product's boxes speak the product's language (English).
struct LanguageCase {
  const char* description;
  const char* arguments;
  std::function<void(test::Model&)> setUp;
  std::string box;
};

class BoxLanguageTest : public ApplyTest, public testing::WithParamInterface<LanguageCase> {};

TEST_P(BoxLanguageTest, SpeaksTheUsersLanguageOutsideAnyProduct) {
  test::Model& model = m.os.model;
  model.AddCatalogue(1031, {{300, u"Fehler %d"},
                            {301, u"%s aktualisiert."},
                            {306, u"%s ist aktuell"},
                            {307, u"Kein Produkt."},
                            {308, u"Nicht für %s."},
                            {310, u"Keine Liste."},
                            {311, u"Fehler"},
                            {312, u"Erfolg"},
                            {313, u"Unnötig"}});
  model.AddCatalogue(1036, {{300, u"Échec %d"},
                            {301, u"%s installé."},
                            {306, u"%s est à jour"},
                            {307, u"Aucun produit."},
                            {308, u"Pas pour %s."},
                            {310, u"Aucune liste."},
                            {311, u"Erreur"},
                            {312, u"Réussite"},
                            {313, u"Inutile"}});
  model.threadLocale = 1031;
  model.userDefaultLocale = 1031;
  model.uiLanguage = 1036;
  GetParam().setUp(model);
  model.commandLine = u"servicepack.exe " + test::Utf16(GetParam().arguments);

  ServicePackMain(m.process);

  EXPECT_EQ(m.os.log.BoxTexts(), (std::vector<std::string>{GetParam().box}));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, BoxLanguageTest,
    testing::Values(LanguageCase{"no targeted product", "",
                                 [](auto& model) { model.summaryText = u"{Z}"; }, "Aucun produit."},
                    LanguageCase{"package not written", "",
                                 [](auto& model) { model.resources.clear(); }, "Échec 1814"},
                    LanguageCase{"patch list without notes", "/p C:\\list.txt",
                                 [](auto& model) {
                                   model.resources.erase({u"TXT", u"#206"});
                                 },
                                 "Aucune liste."},
                    LanguageCase{"patch list that cannot be opened", "/p C:\\missing\\list.txt",
                                 [](auto&) {}, "Aucune liste."},
                    LanguageCase{"every product up to date", "",
                                 [](auto& model) {
                                   model.products[u"{A}"].info[u"VersionString"] = u"9.1.031.0";
                                 },
                                 "Alpha est à jour"},
                    LanguageCase{"a product patched", "", [](auto&) {}, "Installed Alpha."},
                    LanguageCase{"a product at another version", "",
                                 [](auto& model) {
                                   model.products[u"{A}"].info[u"VersionString"] = u"8.0.0.0";
                                 },
                                 "Not for this version of Alpha."}),
    test::DescriptionName());

TEST_F(ApplyTest, ServicePackMainReturnsTheInstallExitCode) {
  m.os.model.products[u"{A}"].configureResults = {3010, 0};
  m.os.model.commandLine = u"servicepack.exe /q";
  EXPECT_EQ(ServicePackMain(m.process), 3010u);
  EXPECT_TRUE(m.process.targetProducts.empty());
}

}  // namespace
}  // namespace sp
