#include "messages/run_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "app/service_pack_main.h"
#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;

TEST(RunLogText, WritesControlCharactersAsEscapesAndTheRestAsUtf8) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"plain", "plain"},
      {u"tab\there\r\n", "tab\\x09here\\x0D\\x0A"},
      {u"\x01\x1F\x7F", "\\x01\\x1F\\x7F"},
      {u"Fran\u00E7ais \u65E5\u672C",
       "Fran\xC3\xA7"
       "ais \xE6\x97\xA5\xE6\x9C\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, u'\xD800') + u"x", "\xEF\xBF\xBDx"},  // half a pair
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(RunLogText(text), expected) << test::Utf8(text);
  }
}

class RunLogTest : public testing::Test {
 protected:
  RunLogTest() {
    m.os.model.AddProduct(u"{A}", u"Alpha", u"1033", u"9.1.030.0");      // qualifies
    m.os.model.AddProduct(u"{B}", u"Beta\tTwo", u"1031", u"9.1.031.0");  // up to date
    m.os.model.AddProduct(u"{C}", u"Gamma", u"1036", u"8.0.0.0");        // unsupported
    m.os.model.summaryText = u"{A};{X};{B};{C}";
  }

  std::uint32_t Run(const char* arguments) {
    m.os.model.commandLine = u"servicepack.exe " + test::Utf16(arguments);
    return ServicePackMain(m.process);
  }

  // The log's whole lines without their times, which must each be the local time.
  std::vector<std::string> Lines(const std::u16string& path) const {
    const std::string text = m.os.model.FileText(path);
    std::vector<std::string> lines;
    const std::regex line("2026-12-08 09:05:07 (.*)");
    for (std::size_t at = 0, end = 0; (end = text.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
      std::smatch match;
      const std::string whole = text.substr(at, end - at);
      EXPECT_TRUE(std::regex_match(whole, match, line)) << whole;
      lines.push_back(match[1]);
    }
    return lines;
  }

  Machine m;
};

const std::string kFirstLine =
    "PATCH=\"C:\\T\\MSP2\" REBOOTPROMPT=S FILESINUSETEXT=\"Close these:\" REINSTALL=ALL "
    "REINSTALLMODE=emus REBOOT=ReallySuppress";
const std::string kSecondLine =
    "PATCH=\"C:\\T\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus REBOOT=ReallySuppress";

TEST_F(RunLogTest, RecordsEveryDecisionOfAnInstallRun) {
  m.os.model.files[u"C:\\logs"] = {true, {}};
  EXPECT_EQ(Run("/q /norestart /log C:\\logs\\sp.log"), 1642u);

  EXPECT_EQ(Lines(u"C:\\logs\\sp.log"),
            (std::vector<std::string>{
                "start upgrade 9.1.031.0 candidates 9.1.030.0, command line servicepack.exe /q "
                "/norestart /log C:\\logs\\sp.log; desktop visible; elevated",
                "product logs C:\\logs\\sp_<product name>.log",
                "options install quiet norestart log \"C:\\logs\\sp.log\"",
                "package C:\\T\\MSP2 written",
                "targets {A};{X};{B};{C}",
                "product {A} present",
                "product {X} absent",
                "product {B} present",
                "product {C} present",
                "product {A} name \"Alpha\" language 1033 version 9.1.030.0",
                "product {A} decision qualifies",
                "product {A} log C:\\logs\\sp_Alpha.log",
                "reconfigure {A} " + kFirstLine + " result 0",
                "reconfigure {A} " + kSecondLine + " result 0",
                "product {A} version after 9.1.031.0: patched",
                "box 301 suppressed",
                "product {A} log C:\\logs\\sp_Alpha.log holds 30 bytes",
                "product {B} name \"Beta\\x09Two\" language 1031 version 9.1.031.0",
                "product {B} decision up to date",
                "product {B} log C:\\logs\\sp_Beta_Two.log",
                "product {B} log C:\\logs\\sp_Beta_Two.log holds 0 bytes",
                "product {C} name \"Gamma\" language 1036 version 8.0.0.0",
                "product {C} decision unsupported",
                "product {C} log C:\\logs\\sp_Gamma.log",
                "box 308 suppressed",
                "product {C} log C:\\logs\\sp_Gamma.log holds 0 bytes",
                "exit code 1642",
            }));
}

TEST_F(RunLogTest, AppendsAndRecordsTheModes) {
  m.os.model.files[u"C:\\sp.log"] = {false, test::Bytes("earlier\r\n")};
  EXPECT_EQ(Run("/e C:\\out.msp /p C:\\list.txt /log C:\\sp.log"), 0u);
  m.os.faults.summaryOpenStatus = 1620;
  EXPECT_EQ(Run("/log C:\\sp.log /i"), 1620u);

  const std::string text = m.os.model.FileText(u"C:\\sp.log");
  ASSERT_TRUE(text.starts_with("earlier\r\n"));
  m.os.model.files[u"C:\\sp.log"].data = test::Bytes(text.substr(9));
  const std::vector<std::string> lines = Lines(u"C:\\sp.log");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{
                "product logs C:\\sp_<product name>.log",
                "options extract \"C:\\out.msp\" patch-list \"C:\\list.txt\" log \"C:\\sp.log\"",
                "extract C:\\out.msp result 0",
                "patch list C:\\list.txt result 0",
                "exit code 0",
                "start upgrade 9.1.031.0 candidates 9.1.030.0, command line servicepack.exe "
                "/log C:\\sp.log /i; desktop visible; elevated",
                "product logs C:\\sp_<product name>.log",
                "options list log \"C:\\sp.log\"",
                "list C:\\T\\MSP2 targets  result 1620",
                "box list shown",
                "exit code 1620",
            }));
}

struct ProductLogCase {
  const char* description;
  const char* arguments;
  std::vector<std::string> firstLog;  // what the first product's MsiEnableLogW receives
};

class ProductLogPlaceTest : public RunLogTest,
                            public testing::WithParamInterface<ProductLogCase> {};

TEST_P(ProductLogPlaceTest, BesideTheRunLogElseInTheTemporaryFolder) {
  m.os.model.files[u"C:\\logs"] = {true, {}};
  m.os.model.files[u"C:\\logs.d"] = {true, {}};
  const std::u16string deep = u"C:\\" + std::u16string(250, u'd');
  m.os.model.files[deep] = {true, {}};
  EXPECT_EQ(Run(GetParam().arguments), 1642u);
  ASSERT_FALSE(m.os.log.ArgsOf("MsiEnableLogW").empty());
  EXPECT_EQ(m.os.log.ArgsOf("MsiEnableLogW").front(), GetParam().firstLog);
}

INSTANTIATE_TEST_SUITE_P(
    Places, ProductLogPlaceTest,
    testing::Values(ProductLogCase{"without a run log", "/q", {"0x1000", "C:\\T\\Alpha.log", "0"}},
                    ProductLogCase{"beside the run log",
                                   "/q /log C:\\logs\\sp.log",
                                   {"0x1000", "C:\\logs\\sp_Alpha.log", "0"}},
                    ProductLogCase{"a run log without extension",
                                   "/q /log C:\\logs.d\\sp",
                                   {"0x1000", "C:\\logs.d\\sp_Alpha.log", "0"}},
                    ProductLogCase{"a run log with two dots",
                                   "/q /log C:\\logs\\sp.v2.log",
                                   {"0x1000", "C:\\logs\\sp.v2_Alpha.log", "0"}},
                    ProductLogCase{"a run log that names a folder",
                                   "/q /log C:\\logs",
                                   {"0x1000", "C:\\T\\Alpha.log", "0"}},
                    ProductLogCase{"a run log in a missing folder",
                                   "/q /log C:\\missing\\sp.log",
                                   {"0x1000", "C:\\T\\Alpha.log", "0"}},
                    // No "c:" fallback beside a run log: no log at all.
                    ProductLogCase{
                        "a name that does not fit beside the run log",
                        "/q /log C:\\dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd"
                        "dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd"
                        "dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd"
                        "dddddddddddddddddddddddddddddddddddddddddddd\\sp.log",
                        {"0x0", "", "0"}}),
    test::DescriptionName());

// What a run leaves behind when a clean-up fails, and the run log's word for it.
struct LeftBehind {
  const char* description;
  const char* arguments;
  std::function<void(test::RecordingPlatform&)> inject;
  std::vector<std::string> lines;  // in the log, in this order, among others
  std::uint32_t exitCode;
};

class LeftBehindTest : public RunLogTest, public testing::WithParamInterface<LeftBehind> {};

TEST_P(LeftBehindTest, IsRecorded) {
  const LeftBehind& c = GetParam();
  c.inject(m.os);
  EXPECT_EQ(Run(c.arguments), c.exitCode);
  const std::vector<std::string> lines = Lines(u"C:\\sp.log");
  auto at = lines.begin();
  for (const std::string& line : c.lines) {
    at = std::find(at, lines.end(), line);
    EXPECT_NE(at, lines.end()) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    CleanUps, LeftBehindTest,
    testing::Values(
        LeftBehind{"a patch list record not cut back",
                   "/p C:\\list.txt /log C:\\sp.log",
                   [](auto& os) {
                     os.faults.failingWrites[{u"C:\\list.txt", 2}] = 112;
                     os.faults.setEndOfFileFails = true;
                   },
                   {"patch list C:\\list.txt: part of a record stays, not cut back: error 5",
                    "patch list C:\\list.txt result 5", "exit code 5"},
                   5},
        LeftBehind{"the package not deleted",
                   "/q /log C:\\sp.log",
                   [](auto& os) { os.faults.failingDeletes.insert(u"C:\\T\\MSP2"); },
                   {"package C:\\T\\MSP2 not deleted: error 5", "exit code 1642"},
                   1642}),
    test::DescriptionName());

struct LogFault {
  const char* description;
  std::function<void(test::RecordingPlatform&)> inject;
  std::size_t lines;  // what the log holds afterwards
  bool beside;        // the product logs go beside it: it was open when the products came
};

class RunLogFaultTest : public RunLogTest, public testing::WithParamInterface<LogFault> {};

TEST_P(RunLogFaultTest, NeverChangesTheRun) {
  Machine plain;
  plain.os.model = m.os.model;
  plain.os.model.commandLine = u"servicepack.exe /norestart";
  const std::uint32_t expected = ServicePackMain(plain.process);

  GetParam().inject(m.os);
  EXPECT_EQ(Run("/norestart /log C:\\sp.log"), expected);

  // Every call as without "/log"; the product logs beside the run log once it is open.
  std::vector<test::Call> calls =
      plain.os.log.Of({"MsiConfigureProductExW", "MsiEnableLogW", "MessageBoxW", "DeleteFileW"});
  for (test::Call& call : calls) {
    if (call.name == "MsiEnableLogW" && GetParam().beside) {
      call.args.at(1).replace(0, 5, "C:\\sp_");  // C:\T\<name>.log
    }
  }
  EXPECT_EQ(m.os.log.Of({"MsiConfigureProductExW", "MsiEnableLogW", "MessageBoxW", "DeleteFileW"}),
            calls);
  EXPECT_EQ(Lines(u"C:\\sp.log").size(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RunLogFaultTest,
    testing::Values(LogFault{"cannot be opened",
                             [](auto& os) { os.faults.openErrors[u"C:\\sp.log"] = 32; }, 0, false},
                    // A link the administrator's folder holds: the file it leads to stays.
                    LogFault{"is a link",
                             [](auto& os) {
                               os.model.files[u"C:\\sp.log"] = {false, test::Bytes("victim")};
                               os.model.files[u"C:\\sp.log"].leadsTo = u"C:\\Windows\\win.ini";
                             },
                             0, false},
                    LogFault{"has a second link",
                             [](auto& os) {
                               os.model.files[u"C:\\sp.log"] = {false, {}};
                               os.model.files[u"C:\\sp.log"].links = 2;
                             },
                             0, false},
                    LogFault{"a write fails",
                             [](auto& os) {
                               os.faults.failingWrites[{u"C:\\sp.log", 3}] = 112;
                             },
                             2, false},
                    LogFault{"the disk fills",
                             [](auto& os) {
                               os.faults.partialWrites[{u"C:\\sp.log", 5}] = 4;
                             },
                             4, true}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
