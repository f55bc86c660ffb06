#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/service_pack_main.h"
#include "recording_platform.h"

namespace sp {
namespace {

using test::RecordingPlatform;

struct OptionCase {
  const char* commandLine;
  bool install;
  bool quiet;
  bool extract;
  const char* extractionPath;
  bool patchList;
  const char* patchListPath;
  bool list;
  bool passive = false;
  bool noRestart = false;
  bool help = false;
  const char* logPath = nullptr;  // none when "/log" named no file
};

class ParseCommandLineTest : public testing::TestWithParam<OptionCase> {};

TEST_P(ParseCommandLineTest, FillsRunOptions) {
  const OptionCase& c = GetParam();
  RecordingPlatform os;
  os.model.commandLine = test::Utf16(c.commandLine);
  RunOptions o;

  EXPECT_TRUE(ParseCommandLine(os, o));

  EXPECT_EQ(o.install, c.install);
  EXPECT_EQ(o.quiet, c.quiet);
  EXPECT_EQ(o.extract, c.extract);
  EXPECT_EQ(test::Utf8(o.extractionPath), c.extractionPath);
  EXPECT_EQ(o.patchList, c.patchList);
  EXPECT_EQ(test::Utf8(o.patchListPath), c.patchListPath);
  EXPECT_EQ(o.list, c.list);
  EXPECT_EQ(o.passive, c.passive);
  EXPECT_EQ(o.noRestart, c.noRestart);
  EXPECT_EQ(o.help, c.help);
  EXPECT_EQ(o.logPath.has_value(), c.logPath != nullptr);
  if (o.logPath && c.logPath != nullptr) {
    EXPECT_EQ(test::Utf8(*o.logPath), c.logPath);
  }
  EXPECT_EQ(os.log.all(), (std::vector<test::Call>{{"GetCommandLineW", {}},
                                                   {"CommandLineToArgvW", {c.commandLine}}}));
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseCommandLineTest,
    testing::Values(
        // install, quiet, extract, path, patch list, path, list
        OptionCase{"sp.exe", true, false, false, "", false, "", false},
        // "/log": the next argument is the file, whatever it looks like.
        OptionCase{"sp.exe /q /norestart /log C:\\logs\\sp.log", true, true, false, "", false, "",
                   false, false, true, false, "C:\\logs\\sp.log"},
        OptionCase{"sp.exe /LOG /q", true, false, false, "", false, "", false, false, false, false,
                   "/q"},
        OptionCase{"sp.exe /log", true, false, false, "", false, "", false},
        OptionCase{"sp.exe /e /log x", false, false, true, "/log", false, "", false},
        OptionCase{"sp.exe /p /log C:\\sp.log", false, false, false, "", true, "/log", false, false,
                   false, false, nullptr},
        OptionCase{"sp.exe /i /log C:\\sp.log", false, false, false, "", false, "", true},
        OptionCase{"sp.exe /logs x", true, false, false, "", false, "", false},
        OptionCase{"sp.exe /q", true, true, false, "", false, "", false},
        OptionCase{"sp.exe /e", false, false, true, "", false, "", false},
        OptionCase{"sp.exe /e C:\\out.msp", false, false, true, "C:\\out.msp", false, "", false},
        // The token after "/e" is its path, whatever it looks like.
        OptionCase{"sp.exe /e /q", false, false, true, "/q", false, "", false},
        OptionCase{"sp.exe /e a.msp /p list.txt", false, false, true, "a.msp", true, "list.txt",
                   false},
        OptionCase{"sp.exe /p", false, false, false, "", true, "", false},
        OptionCase{"sp.exe /p /i", false, false, false, "", true, "/i", false},
        // "/i" ends the walk: nothing after it is looked at.
        OptionCase{"sp.exe /i /e x", false, false, false, "", false, "", true},
        OptionCase{"sp.exe /q /i", false, true, false, "", false, "", true},
        OptionCase{"sp.exe /i /q", false, false, false, "", false, "", true},
        OptionCase{"sp.exe /Q /E X.msp /P L.txt", false, true, true, "X.msp", true, "L.txt", false},
        OptionCase{"sp.exe /I", false, false, false, "", false, "", true},
        // Unrecognised tokens are skipped one by one, also a path behind them.
        OptionCase{"sp.exe junk C:\\path /q", true, true, false, "", false, "", false},
        OptionCase{"sp.exe /qx -q \\q q /quiets", true, false, false, "", false, "", false},
        // A later option replaces the path of an earlier one.
        OptionCase{"sp.exe /e first /e second", false, false, true, "second", false, "", false},
        OptionCase{"sp.exe /e \"C:\\My Files\\sp.msp\"", false, false, true, "C:\\My Files\\sp.msp",
                   false, "", false},
        // The administrators' spellings: "/quiet" and "/qn" are "/q".
        OptionCase{"sp.exe /quiet", true, true, false, "", false, "", false},
        OptionCase{"sp.exe /QN", true, true, false, "", false, "", false},
        // The last three columns: passive, no restart, help.
        OptionCase{"sp.exe /passive", true, false, false, "", false, "", false, true},
        OptionCase{"sp.exe /NoRestart", true, false, false, "", false, "", false, false, true},
        OptionCase{"sp.exe /Quiet /PASSIVE /norestart", true, true, false, "", false, "", false,
                   true, true},
        OptionCase{"sp.exe /?", true, false, false, "", false, "", false, false, false, true},
        OptionCase{"sp.exe /h", true, false, false, "", false, "", false, false, false, true},
        OptionCase{"sp.exe /HELP /e x", false, false, true, "x", false, "", false, false, false,
                   true},
        // Right after "/e" or "/p" the new names are paths too, and "/i" hides them.
        OptionCase{"sp.exe /e /quiet", false, false, true, "/quiet", false, "", false},
        OptionCase{"sp.exe /p /norestart /e /?", false, false, true, "/?", true, "/norestart",
                   false},
        OptionCase{"sp.exe /i /qn /passive /norestart /?", false, false, false, "", false, "",
                   true},
        // Near misses are skipped like any unknown token.
        OptionCase{"sp.exe /qn1 /passives -passive /no-restart /norestart: /?? /hel /helper", true,
                   false, false, "", false, "", false}));

TEST(ParseCommandLine, SplitFailureSeesNoOption) {
  RecordingPlatform os;
  os.model.commandLine = u"sp.exe /e x";
  os.faults.splitFails = true;
  RunOptions options;
  options.quiet = true;
  options.passive = options.noRestart = options.help = true;
  options.extractionPath = u"stale";

  EXPECT_TRUE(ParseCommandLine(os, options));

  EXPECT_TRUE(options.install);
  EXPECT_FALSE(options.quiet);
  EXPECT_FALSE(options.passive || options.noRestart || options.help);
  EXPECT_FALSE(options.extract);
  EXPECT_TRUE(options.extractionPath.empty());
}

TEST(ServicePackMain, LooksUpInTheInstanceAndEmptiesTheTargetList) {
  RecordingPlatform os;
  os.model.module = ModuleHandle(0x10000000);
  os.model.commandLine = u"sp.exe /q /i";
  Process process(os, os.model.module);
  process.targetProducts.push_back(std::make_unique<ProductRecord>());

  ServicePackMain(process);

  const auto lookUps = os.log.ArgsOf("FindResourceW");
  ASSERT_FALSE(lookUps.empty());
  EXPECT_EQ(lookUps[0], (std::vector<std::string>{"module", "IDR_MSP_TB", "MSP"}));
  EXPECT_TRUE(process.targetProducts.empty());
}

}  // namespace
}  // namespace sp
