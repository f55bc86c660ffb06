#include "install/command_lines.h"

namespace sp {

ReconfigurationCommandLines MakeCommandLines(std::u16string_view packagePath,
                                             std::u16string_view applicationsToClose) {
  const std::u16string patch = u"PATCH=\"" + std::u16string(packagePath) + u"\"";
  return ReconfigurationCommandLines{patch + u" REBOOTPROMPT=S FILESINUSETEXT=\"" +
                                         std::u16string(applicationsToClose) +
                                         u"\" REINSTALL=ALL REINSTALLMODE=emus",
                                     patch + u" REINSTALL=ALL REINSTALLMODE=emus"};
}

}  // namespace sp
