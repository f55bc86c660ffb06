// Loading a DLL of Windows itself from System32 alone, so that a DLL of the
// same name in the program's folder or the current directory (where a
// downloaded installer is started from) is never loaded in its place.
#pragma once

#include <cstdint>
#include <string>

namespace sp {

enum class LibraryHandle : std::uintptr_t {};
inline constexpr LibraryHandle kNoLibrary = LibraryHandle(0);

struct LibraryLoadResult {
  LibraryHandle library = kNoLibrary;
  std::uint32_t error = 0;  // GetLastError() when library is kNoLibrary
};

// The two calls the loading takes, each as the Win32 function of its name.
class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  virtual LibraryLoadResult LoadLibraryExW(const std::u16string& path, std::uint32_t flags) = 0;
  // Empty when the call fails.
  virtual std::u16string GetSystemDirectoryW() = 0;
};

namespace win {
inline constexpr std::uint32_t kLoadWithAlteredSearchPath = 0x8;
inline constexpr std::uint32_t kLoadLibrarySearchSystem32 = 0x800;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
}  // namespace win

// Loads the DLL `name` (a file name such as u"msi.dll") from System32 with the
// System32 search flag, or, where Windows refuses that flag, by its full path
// in System32. Never by its bare name. kNoLibrary when it cannot be loaded.
LibraryHandle LoadSystemLibrary(LibraryLoader& loader, const std::u16string& name);

}  // namespace sp
