// The release check's entry point: the real platform and machine, the command
// line, and what the check says on the console.
#include <windows.h>

#include <string>
#include <vector>

#include "check/sequence.h"
#include "check/win32/win32_machine.h"
#include "messages/run_log.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/win32_platform.h"

int wmain(int argc, wchar_t** argv) {
  sp::RestrictDllSearchToSystem32();
  sp::Win32Platform platform;
  sp::check::Win32Machine machine;
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  }
  const sp::check::CheckOutcome outcome = sp::check::RunReleaseCheck(platform, machine, arguments);
  const std::string said = sp::ToUtf8(outcome.said);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), said.data(), static_cast<DWORD>(said.size()),
              &written, nullptr);
  return outcome.exitCode;
}
