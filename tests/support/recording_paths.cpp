#include "recording_platform.h"

#include "text_codec.h"

namespace sp::test {

// ---- files and folders by path ----

TempPathResult RecordingPlatform::GetTempPathW(std::uint32_t bufferLength) {
  Record("GetTempPathW", {Decimal(bufferLength)});
  const auto result = static_cast<std::uint32_t>(model.tempPath.size());
  if (model.tempPath.empty()) {
    model.lastError = win::kErrorPathNotFound;
    return TempPathResult{0, u"", win::kErrorPathNotFound};
  }
  if (result >= bufferLength) {
    return TempPathResult{result + 1, u"", 0};
  }
  return TempPathResult{result, model.tempPath, 0};
}

FullPathResult RecordingPlatform::GetFullPathNameW(const std::u16string& path,
                                                   std::uint32_t bufferLength) {
  Record("GetFullPathNameW", {Utf8(path), Decimal(bufferLength)});
  const std::u16string full = model.FullPath(path);
  if (full.size() >= bufferLength) {
    return FullPathResult{static_cast<std::uint32_t>(full.size() + 1), u"", 0};
  }
  return FullPathResult{static_cast<std::uint32_t>(full.size()), full, 0};
}

std::optional<std::u16string> RecordingPlatform::GetShortPathNameW(const std::u16string& path) {
  Record("GetShortPathNameW", {Utf8(path)});
  if (model.files.count(path) == 0) {
    model.lastError = win::kErrorFileNotFound;
    return std::nullopt;
  }
  const auto it = model.shortNames.find(path);
  return it == model.shortNames.end() ? path : it->second;
}

std::uint32_t RecordingPlatform::GetFileAttributesW(const std::u16string& path) {
  Record("GetFileAttributesW", {Utf8(path)});
  if (const auto refused = faults.attributeErrors.find(path);
      refused != faults.attributeErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFileAttributes;
  }
  if (!faults.deniedPrefix.empty() && path.starts_with(faults.deniedPrefix)) {
    model.lastError = win::kErrorAccessDenied;
    return kInvalidFileAttributes;
  }
  std::u16string key = path;
  if (key.size() > 3 && (key.back() == u'\\' || key.back() == u'/')) {
    key.pop_back();
  }
  if (key == u"\\" || key == u"." || (key.size() == 3 && key[1] == u':')) {
    return win::kFileAttributeDirectory;
  }
  const auto it = model.files.find(key);
  if (it == model.files.end()) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  std::uint32_t attributes =
      it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  return it->second.reparsePoint ? attributes | win::kFileAttributeReparsePoint : attributes;
}

bool RecordingPlatform::CreateDirectoryW(const std::u16string& path) {
  Record("CreateDirectoryW", {Utf8(path)});
  // A drive root is there already, in the model or not.
  const bool driveRoot = path.size() == 3 && path[1] == u':' && path[2] == u'\\';
  if (faults.failingCreateDirectory.count(path) != 0 || model.files.count(path) != 0 || driveRoot ||
      !model.ParentIsDirectory(path)) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  model.files[path] = FakeFile{true, {}};
  return true;
}

FindHandle RecordingPlatform::FindFirstFileW(const std::u16string& path,
                                             std::uint32_t& attributes) {
  Record("FindFirstFileW", {Utf8(path)});
  const auto it = model.files.find(path);
  // Windows refuses a path that ends in a backslash, a drive root among them.
  if (it == model.files.end() || path.ends_with(u'\\')) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFind;
  }
  attributes = it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  openFinds_[nextHandle_] = path;
  return FindHandle(nextHandle_++);
}

bool RecordingPlatform::FindClose(FindHandle find) {
  const auto it = openFinds_.find(static_cast<std::uintptr_t>(find));
  Record("FindClose", {it == openFinds_.end() ? "closed search" : "find " + Utf8(it->second)});
  if (it == openFinds_.end()) {
    return false;
  }
  openFinds_.erase(it);
  return true;
}

bool RecordingPlatform::DeleteFileW(const std::u16string& path) {
  Record("DeleteFileW", {Utf8(path)});
  const auto it = model.files.find(path);
  if (it == model.files.end() || it->second.directory || faults.failingDeletes.count(path) != 0) {
    model.lastError = it == model.files.end() ? win::kErrorFileNotFound : win::kErrorAccessDenied;
    return false;
  }
  model.files.erase(it);
  return true;
}

bool RecordingPlatform::MoveFileReplaceW(const std::u16string& from, const std::u16string& to) {
  Record("MoveFileReplaceW", {Utf8(from), Utf8(to)});
  const auto source = model.files.find(from);
  const auto target = model.files.find(to);
  if (faults.failingMoves.count(to) != 0 || source == model.files.end() ||
      (target != model.files.end() && target->second.directory) || !model.ParentIsDirectory(to)) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  FakeFile moved = std::move(source->second);
  model.files.erase(source);
  model.files[to] = std::move(moved);
  return true;
}

}  // namespace sp::test
