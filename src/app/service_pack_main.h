// The program's main routine.
#pragma once

#include <cstdint>

#include "app/process.h"
#include "install/apply.h"
#include "messages/show_message.h"

namespace sp {

// What the options ask of the install run: "/q" silences Windows Installer
// entirely, also beside "/passive", which leaves it a progress bar. Where nobody
// can see the process, every run is as with "/q". The product logs go beside the
// run log when the process writes one.
InstallOptions InstallOptionsFor(const Process& process);

// What messages read in this process: "/q" and "/passive" show none, nor does a
// run that nobody can see.
MessageContext MessagesFor(Process& process);

// Runs the modes the command line selects and returns the process exit code.
std::uint32_t ServicePackMain(Process& process);

}  // namespace sp
