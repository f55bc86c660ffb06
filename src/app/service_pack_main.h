// The program's main routine.
#pragma once

#include <cstdint>

#include "app/process.h"

namespace sp {

// Runs the modes the command line selects and returns the process exit code.
std::uint32_t ServicePackMain(Process& process);

}  // namespace sp
