// Turning the process command line into RunOptions.
#pragma once

#include "app/process.h"

namespace sp {

// Reads "/q", "/e <path>", "/p <path>" and "/i" from the process command line
// into process.options. Always true once the command line has been read.
bool ParseCommandLine(Process& process);

}  // namespace sp
