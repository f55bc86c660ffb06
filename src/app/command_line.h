// Turning the process command line into RunOptions.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace sp {

struct RunOptions {
  bool install = true;
  bool quiet = false;      // "/q", "/quiet", "/qn"
  bool passive = false;    // Windows Installer shows its progress only; no box of our own
  bool noRestart = false;  // Windows Installer may not restart the machine
  bool help = false;       // "/?", "/h", "/help": the help box and nothing else
  bool extract = false;
  std::u16string extractionPath;
  bool patchList = false;
  std::u16string patchListPath;
  bool list = false;
  std::optional<std::u16string> logPath;  // "/log <file>": the run's own log
};

// Reads "/q" (also "/quiet", "/qn"), "/passive", "/norestart", "/?" (also "/h",
// "/help"), "/log <file>", "/e <path>", "/p <path>" and "/i" from the process
// command line into `options`. Always true once the command line has been read.
bool ParseCommandLine(Platform& os, RunOptions& options);

}  // namespace sp
