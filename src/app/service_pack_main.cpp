#include "app/service_pack_main.h"

#include "app/command_line.h"

namespace sp {

std::uint32_t ServicePackMain(Process& process, ModuleHandle instance) {
  process.module = instance;
  if (!ParseCommandLine(process)) {
    return 0;
  }
  const std::uint32_t exitCode = 0;
  process.targetProducts.clear();
  return exitCode;
}

}  // namespace sp
