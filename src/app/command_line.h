// Turning the process command line into RunOptions.
#pragma once

#include <string>

#include "platform/platform.h"

namespace sp {

struct RunOptions {
  bool install = true;
  bool quiet = false;
  bool extract = false;
  std::u16string extractionPath;
  bool patchList = false;
  std::u16string patchListPath;
  bool list = false;
};

// Reads "/q", "/e <path>", "/p <path>" and "/i" from the process command line
// into `options`. Always true once the command line has been read.
bool ParseCommandLine(Platform& os, RunOptions& options);

}  // namespace sp
