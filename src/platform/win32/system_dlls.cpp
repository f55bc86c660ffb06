#include "platform/win32/system_dlls.h"

#include <string>

#include "platform/system_library.h"

namespace sp {
namespace {

class Win32LibraryLoader final : public LibraryLoader {
 public:
  LibraryLoadResult LoadLibraryExW(const std::u16string& path, std::uint32_t flags) override {
    const HMODULE module =
        ::LoadLibraryExW(reinterpret_cast<const wchar_t*>(path.c_str()), nullptr, flags);
    return LibraryLoadResult{LibraryHandle(reinterpret_cast<std::uintptr_t>(module)),
                             module != nullptr ? 0 : ::GetLastError()};
  }

  std::u16string GetSystemDirectoryW() override {
    const UINT needed = ::GetSystemDirectoryW(nullptr, 0);
    if (needed == 0) {
      return u"";
    }
    std::u16string path(needed, u'\0');
    const UINT length = ::GetSystemDirectoryW(reinterpret_cast<wchar_t*>(path.data()), needed);
    if (length == 0 || length >= needed) {
      return u"";
    }
    path.resize(length);
    return path;
  }
};

}  // namespace

void RestrictDllSearchToSystem32() {
  // Looked up rather than imported: Windows without update KB2533623 lacks the
  // function, and the program must still start there.
  using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC entry =
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
  if (entry != nullptr) {
    reinterpret_cast<SetDefaultDllDirectories>(reinterpret_cast<void (*)()>(entry))(
        win::kLoadLibrarySearchSystem32);
  }
}

namespace win32 {

// Windows Installer, the user interface and the shell are loaded from System32
// alone, and on first use: extracting the package and writing the patch list
// need no msi.dll, and loading it is most of the start-up time of those runs.
HMODULE SystemLibrary(const char16_t* name) {
  Win32LibraryLoader loader;
  return reinterpret_cast<HMODULE>(LoadSystemLibrary(loader, name));
}

const InstallerEntries& Installer() {
  static const InstallerEntries entries = [] {
    const HMODULE module = SystemLibrary(u"msi.dll");
    return InstallerEntries{
        Entry<decltype(::MsiGetSummaryInformationW)>(module, "MsiGetSummaryInformationW"),
        Entry<decltype(::MsiSummaryInfoGetPropertyW)>(module, "MsiSummaryInfoGetPropertyW"),
        Entry<decltype(::MsiCloseHandle)>(module, "MsiCloseHandle"),
        Entry<decltype(::MsiQueryProductStateW)>(module, "MsiQueryProductStateW"),
        Entry<decltype(::MsiGetProductInfoW)>(module, "MsiGetProductInfoW"),
        Entry<decltype(::MsiEnableLogW)>(module, "MsiEnableLogW"),
        Entry<decltype(::MsiConfigureProductExW)>(module, "MsiConfigureProductExW"),
        Entry<decltype(::MsiSetInternalUI)>(module, "MsiSetInternalUI"),
    };
  }();
  return entries;
}

decltype(::MessageBoxW)* MessageBoxEntry() {
  static const auto entry =
      Entry<decltype(::MessageBoxW)>(SystemLibrary(u"user32.dll"), "MessageBoxW");
  return entry;
}

decltype(::GetProcessWindowStation)* GetProcessWindowStationEntry() {
  static const auto entry = Entry<decltype(::GetProcessWindowStation)>(SystemLibrary(u"user32.dll"),
                                                                       "GetProcessWindowStation");
  return entry;
}

decltype(::GetUserObjectInformationW)* GetUserObjectInformationEntry() {
  static const auto entry = Entry<decltype(::GetUserObjectInformationW)>(
      SystemLibrary(u"user32.dll"), "GetUserObjectInformationW");
  return entry;
}

decltype(::CommandLineToArgvW)* CommandLineToArgvEntry() {
  static const auto entry =
      Entry<decltype(::CommandLineToArgvW)>(SystemLibrary(u"shell32.dll"), "CommandLineToArgvW");
  return entry;
}

const TokenEntries& Token() {
  static const TokenEntries entries = [] {
    const HMODULE advapi32 = SystemLibrary(u"advapi32.dll");
    return TokenEntries{
        Entry<decltype(::OpenProcessToken)>(advapi32, "OpenProcessToken"),
        Entry<decltype(::GetTokenInformation)>(advapi32, "GetTokenInformation"),
    };
  }();
  return entries;
}

}  // namespace win32
}  // namespace sp
