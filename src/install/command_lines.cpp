#include "install/command_lines.h"

namespace sp {
namespace {

// A property value as Windows Installer reads it: in double quotes, with each
// double quote inside written twice.
std::u16string Quoted(std::u16string_view value) {
  std::u16string quoted = u"\"";
  for (const char16_t c : value) {
    quoted += c;
    if (c == u'"') {
      quoted += c;
    }
  }
  return quoted + u"\"";
}

}  // namespace

ReconfigurationCommandLines MakeCommandLines(std::u16string_view packagePath,
                                             std::u16string_view applicationsToClose,
                                             bool noRestart) {
  const std::u16string patch = u"PATCH=" + Quoted(packagePath);
  const std::u16string restart = noRestart ? u" REBOOT=ReallySuppress" : u"";
  return ReconfigurationCommandLines{patch + u" REBOOTPROMPT=S FILESINUSETEXT=" +
                                         Quoted(applicationsToClose) +
                                         u" REINSTALL=ALL REINSTALLMODE=emus" + restart,
                                     patch + u" REINSTALL=ALL REINSTALLMODE=emus" + restart};
}

}  // namespace sp
