// The property texts a qualifying product is reconfigured with.
#pragma once

#include <string>
#include <string_view>

namespace sp {

struct ReconfigurationCommandLines {
  std::u16string first;   // with the prompt that lists the applications to close
  std::u16string second;  // the patch alone
};

// With `noRestart` both end in " REBOOT=ReallySuppress": Windows Installer then
// never restarts the machine in the middle of the product loop, and a patch that
// needs a restart returns 3010.
ReconfigurationCommandLines MakeCommandLines(std::u16string_view packagePath,
                                             std::u16string_view applicationsToClose,
                                             bool noRestart);

}  // namespace sp
