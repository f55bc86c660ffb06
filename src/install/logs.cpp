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
// a device name or a name ending in a dot or blank gets a "_" of its own. Windows
// takes "CON.x" and "CON .x" for the device too (blanks before the first dot do
// not count), so the "_" goes right behind the device name.
std::u16string SafeFileName(const std::u16string& name) {
  std::u16string safe = name;
  for (char16_t& c : safe) {
    if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
      c = u'_';
    }
  }
  const std::u16string_view base = std::u16string_view(safe).substr(0, safe.find(u'.'));
  const std::size_t deviceEnd = base.find_last_not_of(u' ') + 1;  // 0 when all blank
  if (IsReservedDevice(base.substr(0, deviceEnd))) {
    safe.insert(deviceEnd, u"_");
  } else if (!safe.empty() && (safe.back() == u'.' || safe.back() == u' ')) {
    safe += u'_';
  }
  return safe;
}

// "\\?\C:\x" -> "C:\x", and ASCII letters folded: the forms of one path that the
// final-path call and the program's own texts may differ in.
std::u16string Comparable(std::u16string path) {
  if (path.starts_with(u"\\\\?\\")) {
    path.erase(0, 4);
  }
  while (path.size() > 3 && path.back() == u'\\') {
    path.pop_back();
  }
  for (char16_t& c : path) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return path;
}

constexpr std::uint32_t kShareAll =
    win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;

// Where a file or folder is on its volume, seen through a handle opened without
// access, or none.
std::optional<std::u16string> FinalPath(Platform& os, const std::u16string& path,
                                        std::uint32_t flags) {
  const OwnedFile handle(os, os.CreateFileW(path, 0, kShareAll, win::kOpenExisting, flags));
  if (!handle) {
    return std::nullopt;
  }
  return os.GetFinalPathNameByHandleW(handle.get());
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

bool IsPlainLogPath(Platform& os, const std::u16string& path) {
  const std::uint32_t attributes = os.GetFileAttributesW(path);
  if (attributes == kInvalidFileAttributes) {
    return os.GetLastError() == win::kErrorFileNotFound;  // a new file of its own
  }
  if ((attributes & (win::kFileAttributeDirectory | win::kFileAttributeReparsePoint)) != 0) {
    return false;
  }
  const OwnedFile file(
      os, os.CreateFileW(path, 0, kShareAll, win::kOpenExisting, win::kFileAttributeNormal));
  if (!file) {
    return false;
  }
  const auto information = os.GetFileInformationByHandle(file.get());
  if (!information || information->links != 1 ||
      (information->attributes &
       (win::kFileAttributeDirectory | win::kFileAttributeReparsePoint)) != 0) {
    return false;
  }
  // A link of any kind shows in its final path: it is not the folder's own file
  // of that name. The folder's final path is the reference, so that a folder
  // named by its short form still matches.
  const auto final = os.GetFinalPathNameByHandleW(file.get());
  const std::size_t slash = path.find_last_of(u"\\/");
  if (!final || slash == std::u16string::npos) {
    return false;
  }
  const std::u16string folder =
      slash == 2 && path[1] == u':' ? path.substr(0, 3) : path.substr(0, slash);
  const auto folderFinal = FinalPath(os, folder, win::kFileFlagBackupSemantics);
  return folderFinal &&
         Comparable(*final) == Comparable(*folderFinal + u"\\" + path.substr(slash + 1));
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
