// Who can see the run: the start-up queries, what the run log says of their
// answers, and a run that nobody can see behaving as the same run with "/q".
#include "app/attendance.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/service_pack_main.h"
#include "fixtures.h"

namespace sp {
namespace {

using test::Call;
using test::Machine;

// A machine where product {A} qualifies and {B} is up to date.
void AddProducts(Machine& m) {
  m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");
  m.os.model.AddProduct(u"{B}", u"Beta", u"1031", u"9.1.031.0");
  m.os.model.summaryText = u"{A};{B}";
  m.os.model.files[u"C:\\logs"] = {true, {}};
}

std::uint32_t RunMain(Machine& m, const std::string& arguments) {
  m.os.model.commandLine = u"servicepack.exe " + test::Utf16(arguments);
  return ServicePackMain(m.process);
}

// The log's lines without their time stamps.
std::vector<std::string> LogLines(const Machine& m, const std::u16string& path) {
  const std::string text = m.os.model.FileText(path);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end = 0; (end = text.find("\r\n", at)) != std::string::npos;
       at = end + 2) {
    lines.push_back(text.substr(at + 20, end - at - 20));
  }
  return lines;
}

constexpr char kStart[] =
    "start upgrade 9.1.031.0 candidates 9.1.030.0, command line servicepack.exe /log "
    "C:\\logs\\sp.log; ";
const std::vector<std::string> kAllQueries = {
    "RtlGetVersion",       "GetProcessWindowStation", "GetUserObjectInformationW",
    "GetCurrentProcessId", "ProcessIdToSessionId",    "GetTokenElevation"};
const std::vector<std::string> kNoSession = {"RtlGetVersion", "GetProcessWindowStation",
                                             "GetUserObjectInformationW", "GetTokenElevation"};

struct AnswerCase {
  const char* description;
  std::function<void(test::RecordingPlatform&)> setUp;
  bool attended;
  std::string answers;  // the end of the start line
  std::vector<std::string> queries;
};

class AnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, DecideTheBoxesAndEndTheStartLine) {
  const AnswerCase& c = GetParam();
  Machine m;
  AddProducts(m);
  c.setUp(m.os);

  EXPECT_EQ(RunMain(m, "/log C:\\logs\\sp.log"), 0u);

  const std::vector<std::string> names = m.os.log.Names();
  ASSERT_GE(names.size(), c.queries.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + std::ssize(c.queries)),
            c.queries);
  EXPECT_EQ(names.at(c.queries.size()), "GetCommandLineW");
  EXPECT_EQ(m.process.attendance.attended, c.attended);
  EXPECT_EQ(LogLines(m, u"C:\\logs\\sp.log").at(0), kStart + c.answers);
  // Attended, the one box of the run (301) is shown; unattended, none, and
  // Windows Installer shows nothing either.
  EXPECT_EQ(m.os.log.Boxes().size(), c.attended ? 1u : 0u);
  const std::vector<Call> quiet = {{"MsiSetInternalUI", {"2"}}};
  EXPECT_EQ(m.os.log.Of({"MsiSetInternalUI"}), c.attended ? std::vector<Call>{} : quiet);
  EXPECT_EQ(m.os.log.Count("MsiConfigureProductExW"), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerTest,
    testing::Values(
        AnswerCase{"a visible station in session 1", [](auto&) {}, true,
                   "desktop visible; elevated", kAllQueries},
        AnswerCase{"a station without WSF_VISIBLE",
                   [](auto& os) { os.model.windowStationFlags = 0; }, false,
                   "no visible desktop: quiet (window station not visible); elevated", kNoSession},
        AnswerCase{"other flags without WSF_VISIBLE",
                   [](auto& os) { os.model.windowStationFlags = 0xFFFFFFFEu; }, false,
                   "no visible desktop: quiet (window station not visible); elevated", kNoSession},
        AnswerCase{"session 0 of Windows 6.0",
                   [](auto& os) {
                     os.model.osVersion = OsVersion{6, 0, 6002};
                     os.model.sessionId = 0;
                   },
                   false, "no visible desktop: quiet (session 0); elevated", kAllQueries},
        AnswerCase{"session 0 of Windows 5.2, the console's",
                   [](auto& os) {
                     os.model.osVersion = OsVersion{5, 2, 3790};
                     os.model.sessionId = 0;
                   },
                   true, "desktop visible; elevated", kNoSession},
        AnswerCase{"session 0 of a Windows whose version is unknown",
                   [](auto& os) {
                     os.model.osVersion.reset();
                     os.model.sessionId = 0;
                   },
                   false, "no visible desktop: quiet (session 0); elevated", kAllQueries},
        AnswerCase{"session 2", [](auto& os) { os.model.sessionId = 2; }, true,
                   "desktop visible; elevated", kAllQueries},
        AnswerCase{
            "no window station",
            [](auto& os) { os.faults.failingQueries["GetProcessWindowStation"] = 5; },
            false,
            "no visible desktop: quiet (GetProcessWindowStation failed with error 5); "
            "elevated",
            {"RtlGetVersion", "GetProcessWindowStation", "GetLastError", "GetTokenElevation"}},
        AnswerCase{"station flags unreadable",
                   [](auto& os) { os.faults.failingQueries["GetUserObjectInformationW"] = 6; },
                   false,
                   "no visible desktop: quiet (GetUserObjectInformationW failed with error 6); "
                   "elevated",
                   {"RtlGetVersion", "GetProcessWindowStation", "GetUserObjectInformationW",
                    "GetLastError", "GetTokenElevation"}},
        AnswerCase{
            "session unreadable",
            [](auto& os) { os.faults.failingQueries["ProcessIdToSessionId"] = 5; },
            false,
            "no visible desktop: quiet (ProcessIdToSessionId failed with error 5); elevated",
            {"RtlGetVersion", "GetProcessWindowStation", "GetUserObjectInformationW",
             "GetCurrentProcessId", "ProcessIdToSessionId", "GetLastError", "GetTokenElevation"}},
        AnswerCase{"not elevated", [](auto& os) { os.model.elevated = false; }, true,
                   "desktop visible; not elevated", kAllQueries},
        AnswerCase{
            "elevation unreadable",
            [](auto& os) { os.faults.failingQueries["GetTokenElevation"] = 87; },
            true,
            "desktop visible; not elevated (reading the token's elevation failed with "
            "error 87)",
            {"RtlGetVersion", "GetProcessWindowStation", "GetUserObjectInformationW",
             "GetCurrentProcessId", "ProcessIdToSessionId", "GetTokenElevation", "GetLastError"}}),
    test::DescriptionName());

// Nobody can see the run: it does what the same run with "/q" does, and shows
// not even the "/i" list or the help.
struct UnseenCase {
  const char* description;
  const char* arguments;
  std::function<void(test::Model&)> setUp;
  std::size_t quietBoxes;  // what the "/q" run shows
};

class UnseenTest : public testing::TestWithParam<UnseenCase> {};

// What a run changes on the machine and asks of Windows Installer.
std::vector<Call> Effects(const Machine& m) {
  return m.os.log.Of({"MsiSetInternalUI", "MsiEnableLogW", "MsiConfigureProductExW",
                      "SetThreadLocale", "CreateFileW", "WriteFile", "MoveFileReplaceW",
                      "DeleteFileW", "CloseHandle", "SetLastError"});
}

TEST_P(UnseenTest, RunsAsQuietAndShowsNoBox) {
  const UnseenCase& c = GetParam();
  Machine unseen;
  Machine quiet;
  for (Machine* m : {&unseen, &quiet}) {
    AddProducts(*m);
    c.setUp(m->os.model);
  }
  unseen.os.model.windowStationFlags = 0;

  const std::uint32_t unseenExit = RunMain(unseen, c.arguments);
  const std::uint32_t quietExit = RunMain(quiet, std::string("/q ") + c.arguments);

  EXPECT_EQ(unseenExit, quietExit);
  EXPECT_EQ(Effects(unseen), Effects(quiet));
  EXPECT_EQ(unseen.os.model.files, quiet.os.model.files);
  EXPECT_TRUE(unseen.os.log.Boxes().empty());
  EXPECT_EQ(quiet.os.log.Boxes().size(), c.quietBoxes);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, UnseenTest,
    testing::Values(
        UnseenCase{"install", "", [](auto&) {}, 0},
        UnseenCase{"install with passive", "/passive", [](auto&) {}, 0},
        UnseenCase{"install with passive and norestart", "/passive /norestart", [](auto&) {}, 0},
        UnseenCase{"no targeted product", "", [](auto& model) { model.summaryText = u"{Z}"; }, 0},
        UnseenCase{"a failing reconfiguration", "",
                   [](auto& model) { model.products[u"{A}"].configureResults = {1603}; }, 0},
        UnseenCase{"extract and patch list", "/e C:\\x.msp /p C:\\list.txt", [](auto&) {}, 0},
        UnseenCase{"patch list that cannot be opened", "/p C:\\missing\\list.txt", [](auto&) {}, 0},
        UnseenCase{"list", "/i", [](auto&) {}, 1},
        UnseenCase{"list with passive", "/passive /i", [](auto&) {}, 1},
        UnseenCase{"list that cannot read the package", "/i",
                   [](auto& model) { model.resources.clear(); }, 1},
        UnseenCase{"help", "/?", [](auto&) {}, 1},
        UnseenCase{"help with quiet", "/q /help", [](auto&) {}, 1}),
    test::DescriptionName());

TEST(Unseen, LogsTheBoxesItLeavesOut) {
  Machine m;
  AddProducts(m);
  m.os.model.windowStationFlags = 0;
  RunMain(m, "/log C:\\logs\\sp.log /?");
  RunMain(m, "/log C:\\logs\\sp.log /i");
  const std::vector<std::string> lines = LogLines(m, u"C:\\logs\\sp.log");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "box help suppressed"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "box list suppressed"), 1);
  EXPECT_EQ(m.os.log.Count("MessageBoxW"), 0u);
}

// A run that cannot ask for consent says so, once, after the options.
struct ConsentCase {
  const char* description;
  const char* arguments;
  bool elevated;
  bool attended;
  bool consentLine;
};

class ConsentTest : public testing::TestWithParam<ConsentCase> {};

TEST_P(ConsentTest, IsNamedForAQuietInstallThatIsNotElevated) {
  const ConsentCase& c = GetParam();
  Machine m;
  AddProducts(m);
  m.os.model.elevated = c.elevated;
  m.os.model.windowStationFlags = c.attended ? 1 : 0;

  RunMain(m, std::string("/log C:\\logs\\sp.log ") + c.arguments);

  const std::vector<std::string> lines = LogLines(m, u"C:\\logs\\sp.log");
  ASSERT_GE(lines.size(), 4u);
  const std::string consent =
      "not elevated and quiet: Windows Installer cannot ask for consent, so patching a "
      "per-machine product may fail, unless the patch is signed with a certificate that the "
      "product's MsiPatchCertificate table holds";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), consent), c.consentLine ? 1 : 0);
  // After the start line, the product logs line and the options.
  if (c.consentLine) {
    EXPECT_EQ(lines.at(3), consent);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Consent, ConsentTest,
    testing::Values(ConsentCase{"quiet", "/q", false, true, true},
                    ConsentCase{"made quiet", "", false, false, true},
                    ConsentCase{"passive made quiet", "/passive", false, false, true},
                    ConsentCase{"passive, seen", "/passive", false, true, false},
                    ConsentCase{"seen", "", false, true, false},
                    ConsentCase{"quiet and elevated", "/q", true, true, false},
                    ConsentCase{"quiet extraction", "/q /e C:\\x.msp", false, true, false},
                    ConsentCase{"quiet help", "/q /?", false, true, false}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
