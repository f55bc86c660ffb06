#include "install/logs.h"

#include "platform/owned.h"

namespace sp {
namespace {

constexpr char16_t kFallbackDirectory[] = u"c:";

bool IsReservedDevice(std::u16string_view base) {
  static constexpr std::u16string_view kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  std::u16string upper(base);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  for (auto device : kDevices) {
    if (upper == device) {
      return true;
    }
  }
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
         upper[3] >= u'1' && upper[3] <= u'9';
}

// A product name as a file name: characters files may not hold become "_", and
// a device name or a name ending in a dot or blank gets a "_" of its own.
std::u16string SafeFileName(const std::u16string& name) {
  std::u16string safe = name;
  for (char16_t& c : safe) {
    if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
      c = u'_';
    }
  }
  const std::size_t base = safe.find(u'.');
  if (IsReservedDevice(std::u16string_view(safe).substr(0, base))) {
    safe.insert(base == std::u16string::npos ? safe.size() : base, u"_");
  } else if (!safe.empty() && (safe.back() == u'.' || safe.back() == u' ')) {
    safe += u'_';
  }
  return safe;
}

}  // namespace

void StripTrailingBackslash(std::u16string& path) {
  if (!path.empty() && path.back() == u'\\' &&
      (path.size() == 1 || path[path.size() - 2] != u':')) {
    path.pop_back();
  }
}

bool DirectoryExists(Platform& os, const std::u16string& path) {
  std::uint32_t attributes = 0;
  const OwnedFind find(os, os.FindFirstFileW(path, attributes));
  return find && (attributes & win::kFileAttributeDirectory) != 0;
}

std::u16string GetLogDirectory(Platform& os, std::uint32_t capacity) {
  const TempPathResult temp = os.GetTempPathW(capacity - 1);
  // A directory that does not fit the buffer is as good as none.
  if (temp.result == 0 || temp.result >= capacity - 1) {
    return kFallbackDirectory;
  }
  std::u16string directory = temp.path;
  StripTrailingBackslash(directory);
  if (DirectoryExists(os, directory) || os.CreateDirectoryW(directory)) {
    return directory;
  }
  return kFallbackDirectory;
}

std::optional<std::u16string> LogFilePath(const std::u16string& directory,
                                          const std::u16string& productName) {
  const std::u16string file = u"\\" + SafeFileName(productName) + u".log";
  for (const std::u16string& folder : {directory, std::u16string(kFallbackDirectory)}) {
    if (folder.size() + file.size() < kLogPathCapacity) {
      return folder + file;
    }
  }
  return std::nullopt;
}

}  // namespace sp
