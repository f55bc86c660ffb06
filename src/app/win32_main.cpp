// The Windows entry point: builds the process-wide objects on the real platform
// and the module the system loaded, and hands them to the main routine.
#include <windows.h>

#include "app/service_pack_main.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  sp::RestrictDllSearchToSystem32();
  sp::Win32Platform platform;
  sp::Process process(platform, sp::ModuleHandle(reinterpret_cast<std::uintptr_t>(instance)));
  return static_cast<int>(sp::ServicePackMain(process));
}
