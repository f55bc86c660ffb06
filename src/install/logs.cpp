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

constexpr std::uint32_t kShareAll =
    win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;
// The hold: the installer opens the log with GENERIC_WRITE sharing only writing,
// which read access on our side would refuse.
constexpr std::uint32_t kLogAccess = win::kFileWriteData | win::kFileReadAttributes;
constexpr std::uint32_t kLogShare = win::kFileShareRead | win::kFileShareWrite;

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

Expected<CheckedFile> HoldNewLog(Platform& os, const std::u16string& path) {
  if (os.GetFileAttributesW(path) != kInvalidFileAttributes) {
    auto existing = CheckedFile::Open(os, path, win::kDelete | win::kFileReadAttributes, kShareAll,
                                      win::kOpenExisting);
    if (!existing.ok()) {
      return existing.failure();
    }
    if (!existing->Delete()) {
      return LastErrorFailure(os);
    }
  } else if (const std::uint32_t error = os.GetLastError(); error != win::kErrorFileNotFound) {
    return Failure(error);
  }
  // Created and checked with the right to delete it, so that a file made where
  // a link pointed goes again; then held without that right, which the
  // installer's own open does not share.
  auto created = CheckedFile::Open(os, path, kLogAccess | win::kDelete, kLogShare, win::kCreateNew);
  if (!created.ok()) {
    return created.failure();
  }
  const FileIdentity ours = created->identity();
  if (!created->Close()) {
    return LastErrorFailure(os);
  }
  auto held = CheckedFile::Open(os, path, kLogAccess, kLogShare, win::kOpenExisting);
  if (held.ok() && held->identity() != ours) {
    return Failure(win::kErrorCannotAccessFile);  // another file took the name
  }
  return held;
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

std::u16string ProductLogStem(const std::u16string& runLog) {
  const std::size_t slash = runLog.find_last_of(u"\\/");
  const std::size_t nameAt = slash == std::u16string::npos ? 0 : slash + 1;
  const std::size_t dot = runLog.find_last_of(u'.');
  return runLog.substr(0, dot == std::u16string::npos || dot < nameAt ? runLog.size() : dot) + u"_";
}

std::optional<std::u16string> LogFileBeside(const std::u16string& runLog,
                                            const std::u16string& productName) {
  std::u16string path = ProductLogStem(runLog) + SafeFileName(productName) + u".log";
  if (path.size() >= kLogPathCapacity) {
    return std::nullopt;
  }
  return path;
}

}  // namespace sp
