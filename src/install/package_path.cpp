#include "install/package_path.h"

namespace sp {
namespace {

// The buffer the package's full path is resolved in, in characters with the
// null: as large as the installer command line that the path goes into.
constexpr std::uint32_t kCommandLinePathCapacity = 1024;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;

bool FitsThePatchProperty(const std::u16string& path) {
  return path.find_first_of(u";\"") == std::u16string::npos;
}

}  // namespace

Expected<std::u16string> InstallerPackagePath(Platform& os, const std::u16string& path) {
  const FullPathResult full = os.GetFullPathNameW(path, kCommandLinePathCapacity);
  if (full.result == 0) {
    return Failure(full.error);
  }
  if (full.result >= kCommandLinePathCapacity) {
    return Failure(kErrorFilenameExcedRange);
  }
  if (FitsThePatchProperty(full.path)) {
    return full.path;
  }
  if (const auto shortPath = os.GetShortPathNameW(full.path);
      shortPath && FitsThePatchProperty(*shortPath)) {
    return *shortPath;
  }
  return Failure(win::kErrorInvalidName);
}

}  // namespace sp
