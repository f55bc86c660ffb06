// The release check from its command line to its exit code.
#pragma once

#include <string>
#include <vector>

#include "check/machine.h"
#include "platform/platform.h"

namespace sp::check {

inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRefused = 2;  // a usage error or a machine the check must not touch

struct CheckOutcome {
  int exitCode = kExitRefused;
  std::u16string said;  // for the console: the report's lines and a summary
};

// `argv` without the program's own name.
CheckOutcome RunReleaseCheck(Platform& os, Machine& machine,
                             const std::vector<std::u16string>& argv);

}  // namespace sp::check
