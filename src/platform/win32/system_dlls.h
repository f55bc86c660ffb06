// Where the Win32 side gets the functions of the DLLs it does not import
// (Windows Installer, the user interface, the shell, the token queries): each DLL
// from System32 alone, loaded on first use, and each function looked up by name.
// A function that cannot be had is null; the wrapper that needs it then answers
// in its place, as platform.h says.
#pragma once

// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

namespace sp {

// Makes System32 the only folder this process loads DLLs from by name, where
// Windows can (SetDefaultDllDirectories): the DLLs that Windows' own DLLs load
// are then never taken from the program's folder. The entry point calls it
// before anything else.
void RestrictDllSearchToSystem32();

namespace win32 {

// The DLL `name` loaded from System32 alone; null when it cannot be loaded.
HMODULE SystemLibrary(const char16_t* name);

// The function `name` of `module`; null when the module is null or lacks it.
template <typename Function>
Function* Entry(HMODULE module, const char* name) {
  const FARPROC entry = module != nullptr ? ::GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(entry));
}

struct InstallerEntries {
  decltype(::MsiGetSummaryInformationW)* getSummaryInformation;
  decltype(::MsiSummaryInfoGetPropertyW)* summaryInfoGetProperty;
  decltype(::MsiCloseHandle)* closeHandle;
  decltype(::MsiQueryProductStateW)* queryProductState;
  decltype(::MsiGetProductInfoW)* getProductInfo;
  decltype(::MsiEnableLogW)* enableLog;
  decltype(::MsiConfigureProductExW)* configureProductEx;
  decltype(::MsiSetInternalUI)* setInternalUI;
};

struct TokenEntries {
  decltype(::OpenProcessToken)* openProcessToken;
  decltype(::GetTokenInformation)* getTokenInformation;
};

// msi.dll's functions, looked up on the first call.
const InstallerEntries& Installer();
// user32.dll's and shell32.dll's, each DLL loaded on the first call that needs it.
decltype(::MessageBoxW)* MessageBoxEntry();
decltype(::GetProcessWindowStation)* GetProcessWindowStationEntry();
decltype(::GetUserObjectInformationW)* GetUserObjectInformationEntry();
decltype(::CommandLineToArgvW)* CommandLineToArgvEntry();
// advapi32.dll's.
const TokenEntries& Token();

// What every Windows Installer call with a status reports in place of msi.dll.
inline constexpr UINT kInstallServiceFailure = ERROR_INSTALL_SERVICE_FAILURE;

}  // namespace win32
}  // namespace sp
