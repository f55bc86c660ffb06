#include "install/package_path.h"

namespace sp {
namespace {

constexpr std::uint32_t kFullPathCapacity = 1024;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;

bool FitsThePatchProperty(const std::u16string& path) {
  return path.find_first_of(u";\"") == std::u16string::npos;
}

}  // namespace

Expected<std::u16string> InstallerPackagePath(Platform& os, const std::u16string& path) {
  const FullPathResult full = os.GetFullPathNameW(path, kFullPathCapacity);
  if (full.result == 0) {
    return LastErrorStatus(os);
  }
  if (full.result >= kFullPathCapacity) {
    return Status::Failure(kErrorFilenameExcedRange);
  }
  if (FitsThePatchProperty(full.path)) {
    return full.path;
  }
  if (const auto shortPath = os.GetShortPathNameW(full.path);
      shortPath && FitsThePatchProperty(*shortPath)) {
    return *shortPath;
  }
  return Status::Failure(win::kErrorInvalidName);
}

}  // namespace sp
