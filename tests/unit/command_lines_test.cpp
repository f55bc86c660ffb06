#include "install/command_lines.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

struct CommandLineCase {
  const char* description;
  std::u16string package;
  std::u16string applicationsToClose;
  std::string first;
  std::string second;
  bool noRestart = false;
};

class CommandLinesTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLinesTest, CarryThePackageAndThePrompt) {
  const CommandLineCase& c = GetParam();
  const ReconfigurationCommandLines lines =
      MakeCommandLines(c.package, c.applicationsToClose, c.noRestart);
  EXPECT_EQ(test::Utf8(lines.first), c.first);
  EXPECT_EQ(test::Utf8(lines.second), c.second);
}

const std::u16string kLongPath = u"C:\\" + std::u16string(250, u'd') + u"\\MSP2";
const std::u16string kLongPrompt(255, u'p');

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLinesTest,
    testing::Values(
        CommandLineCase{"the sample", u"C:\\T\\MSP2", u"Close these:",
                        "PATCH=\"C:\\T\\MSP2\" REBOOTPROMPT=S FILESINUSETEXT=\"Close these:\" "
                        "REINSTALL=ALL REINSTALLMODE=emus",
                        "PATCH=\"C:\\T\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus"},
        CommandLineCase{"an empty prompt", u"C:\\T\\MSP2", u"",
                        "PATCH=\"C:\\T\\MSP2\" REBOOTPROMPT=S FILESINUSETEXT=\"\" "
                        "REINSTALL=ALL REINSTALLMODE=emus",
                        "PATCH=\"C:\\T\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus"},
        CommandLineCase{
            "no restart ends both", u"C:\\T\\MSP2", u"Close these:",
            "PATCH=\"C:\\T\\MSP2\" REBOOTPROMPT=S FILESINUSETEXT=\"Close these:\" "
            "REINSTALL=ALL REINSTALLMODE=emus REBOOT=ReallySuppress",
            "PATCH=\"C:\\T\\MSP2\" REINSTALL=ALL REINSTALLMODE=emus REBOOT=ReallySuppress", true},
        // Windows Installer reads a double quote inside a quoted value written twice.
        CommandLineCase{"double quotes inside a value", u"C:\\T\\MSP\"2", u"Close \"these\":",
                        "PATCH=\"C:\\T\\MSP\"\"2\" REBOOTPROMPT=S "
                        "FILESINUSETEXT=\"Close \"\"these\"\":\" REINSTALL=ALL REINSTALLMODE=emus",
                        "PATCH=\"C:\\T\\MSP\"\"2\" REINSTALL=ALL REINSTALLMODE=emus"},
        // The longest parts that reach here: a 258-character path, a 255-character prompt.
        CommandLineCase{
            "the longest parts whole", kLongPath, kLongPrompt,
            "PATCH=\"" + test::Utf8(kLongPath) + "\" REBOOTPROMPT=S FILESINUSETEXT=\"" +
                test::Utf8(kLongPrompt) + "\" REINSTALL=ALL REINSTALLMODE=emus",
            "PATCH=\"" + test::Utf8(kLongPath) + "\" REINSTALL=ALL REINSTALLMODE=emus"}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
