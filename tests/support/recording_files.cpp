#include "recording_platform.h"

#include <algorithm>

#include "text_codec.h"

namespace sp::test {

// ---- open files ----

FileHandle RecordingPlatform::CreateFileW(const std::u16string& path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t disposition,
                                          std::uint32_t attributes) {
  Record("CreateFileW",
         {Utf8(path), Hex(access), Decimal(share), Decimal(disposition), Hex(attributes)});
  if (const auto refused = faults.openErrors.find(path); refused != faults.openErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFile;
  }
  if (const auto refused = faults.reopenErrors.find(path);
      disposition == win::kOpenExisting && refused != faults.reopenErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFile;
  }
  if (!model.ParentIsDirectory(path)) {
    model.lastError = win::kErrorPathNotFound;
    return kInvalidFile;
  }
  if (path.size() == 3 && path[1] == u':' && (attributes & win::kFileFlagBackupSemantics) != 0) {
    openFiles_[nextHandle_] = OpenFile{path, 0, 0, false};  // a drive root
    return FileHandle(nextHandle_++);
  }
  const auto it = model.files.find(path);
  if (it != model.files.end() && it->second.directory &&
      (attributes & win::kFileFlagBackupSemantics) == 0) {
    model.lastError = win::kErrorAccessDenied;
    return kInvalidFile;
  }
  const bool existed = it != model.files.end();
  if (disposition == win::kOpenExisting && !existed) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFile;
  }
  if (disposition == win::kCreateNew && existed) {
    model.lastError = win::kErrorFileExists;
    return kInvalidFile;
  }
  if (!existed || disposition == win::kCreateAlways) {
    model.files[path] = FakeFile{false, {}};
    model.files[path].index = nextIndex_++;
    created_.insert(path);
  }
  model.lastError = existed && disposition != win::kCreateNew ? win::kErrorAlreadyExists : 0;
  openFiles_[nextHandle_] =
      OpenFile{path, 0, 0, (access & (win::kGenericWrite | win::kFileWriteData)) != 0};
  return FileHandle(nextHandle_++);
}

std::optional<std::uint64_t> RecordingPlatform::SetFilePointerEx(FileHandle file,
                                                                 std::int64_t distance,
                                                                 std::uint32_t method) {
  Record("SetFilePointerEx", {FileRole(file), Decimal(distance), Decimal(method)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const FakeFile& stored = model.files[it->second.path];
  const std::int64_t size = static_cast<std::int64_t>(stored.hole + stored.data.size());
  const std::int64_t base = method == win::kFileEnd ? size : 0;
  if (base + distance < 0) {
    model.lastError = 131;  // ERROR_NEGATIVE_SEEK
    return std::nullopt;
  }
  it->second.position = static_cast<std::uint64_t>(base + distance);
  return it->second.position;
}

ReadResult RecordingPlatform::ReadFile(FileHandle file, std::span<std::byte> buffer) {
  Record("ReadFile", {FileRole(file), Decimal(static_cast<std::int64_t>(buffer.size()))});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return ReadResult{false, 0, kErrorInvalidHandle};
  }
  OpenFile& open = it->second;
  if (const auto refused = faults.readErrors.find(open.path); refused != faults.readErrors.end()) {
    model.lastError = refused->second;
    return ReadResult{false, 0, refused->second};
  }
  const FakeFile& stored = model.files[open.path];
  std::uint32_t read = 0;
  for (; read < buffer.size() && open.position < stored.hole + stored.data.size(); ++read) {
    buffer[read] =
        open.position < stored.hole ? std::byte{0} : stored.data[open.position - stored.hole];
    ++open.position;
  }
  return ReadResult{true, read, 0};
}

WriteResult RecordingPlatform::WriteFile(FileHandle file, std::span<const std::byte> bytes) {
  Record("WriteFile", {FileRole(file), Decimal(static_cast<std::int64_t>(bytes.size()))});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return WriteResult{false, 0, kErrorInvalidHandle};
  }
  OpenFile& open = it->second;
  const auto nth = std::make_pair(open.path, ++open.writes);
  if (const auto failing = faults.failingWrites.find(nth); failing != faults.failingWrites.end()) {
    model.lastError = failing->second;
    return WriteResult{false, 0, failing->second};
  }
  std::size_t accepted = std::min<std::uint64_t>(bytes.size(), faults.diskSpace);
  bool ok = accepted == bytes.size();
  if (const auto partial = faults.partialWrites.find(nth); partial != faults.partialWrites.end()) {
    accepted = std::min<std::size_t>(accepted, partial->second);
    ok = true;
  }
  faults.diskSpace -= accepted;
  FakeFile& stored = model.files[open.path];
  const std::uint64_t at = open.position - stored.hole;  // writes land behind any hole
  if (stored.data.size() < at + accepted) {
    stored.data.resize(at + accepted);
  }
  std::copy_n(bytes.begin(), accepted, stored.data.begin() + static_cast<std::ptrdiff_t>(at));
  open.position += accepted;
  if (!ok) {
    model.lastError = kErrorDiskFull;
  }
  return WriteResult{ok, static_cast<std::uint32_t>(accepted), ok ? 0 : kErrorDiskFull};
}

bool RecordingPlatform::SetEndOfFile(FileHandle file) {
  Record("SetEndOfFile", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end() || faults.setEndOfFileFails) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  FakeFile& stored = model.files[it->second.path];
  if (it->second.position < stored.hole) {
    stored.hole = it->second.position;
    stored.data.clear();
  } else {
    stored.data.resize(it->second.position - stored.hole);
  }
  return true;
}

bool RecordingPlatform::FlushFileBuffers(FileHandle file) {
  Record("FlushFileBuffers", {FileRole(file)});
  if (openFiles_.count(static_cast<std::uintptr_t>(file)) == 0 || faults.flushError) {
    model.lastError = faults.flushError.value_or(kErrorInvalidHandle);
    return false;
  }
  return true;
}

std::optional<FileInformation> RecordingPlatform::GetFileInformationByHandle(FileHandle file) {
  Record("GetFileInformationByHandle", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const std::u16string& path = it->second.path;
  // One volume per drive letter.
  const std::uint32_t volume = path.size() >= 2 && path[1] == u':' ? 0xD0000000u + path[0] : 0;
  const auto stored = model.files.find(path);
  if (stored == model.files.end()) {
    return FileInformation{win::kFileAttributeDirectory, 1, volume, 0, 0};  // a drive root
  }
  const FakeFile& found = stored->second;
  std::uint32_t attributes =
      found.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  if (found.reparsePoint) {
    attributes |= win::kFileAttributeReparsePoint;
  }
  return FileInformation{attributes, found.links, volume, found.index,
                         found.hole + found.data.size()};
}

std::optional<std::u16string> RecordingPlatform::GetFinalPathNameByHandleW(FileHandle file) {
  Record("GetFinalPathNameByHandleW", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const std::u16string& path = it->second.path;
  if (const auto stored = model.files.find(path);
      stored != model.files.end() && stored->second.leadsTo) {
    return u"\\\\?\\" + *stored->second.leadsTo;
  }
  // A file in a folder whose final path lies elsewhere (a folder named by its
  // short form, a subst drive) has its final path there too.
  const std::size_t slash = path.find_last_of(u'\\');
  if (const auto folder = model.files.find(path.substr(0, slash));
      slash != std::u16string::npos && folder != model.files.end() && folder->second.leadsTo) {
    return u"\\\\?\\" + *folder->second.leadsTo + path.substr(slash);
  }
  return u"\\\\?\\" + model.FullPath(path);
}

bool RecordingPlatform::SetFileDispositionDelete(FileHandle file) {
  Record("SetFileDispositionDelete", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return false;
  }
  it->second.deleteOnClose = true;
  return true;
}

bool RecordingPlatform::CloseHandle(FileHandle file) {
  Record("CloseHandle", {FileRole(file)});
  if (const auto it = openFiles_.find(static_cast<std::uintptr_t>(file)); it != openFiles_.end()) {
    const std::u16string& path = it->second.path;
    if (it->second.deleteOnClose) {
      model.files.erase(path);
    } else if (it->second.forWriting) {
      if (const auto swap = faults.replacedAfterWrite.find(path);
          swap != faults.replacedAfterWrite.end()) {
        model.files[path].data = Bytes(swap->second);
      }
      if (faults.swappedAfterWrite.count(path) != 0 && model.Exists(path)) {
        model.files[path].index = nextIndex_++;
      }
    }
  }
  const bool open = openFiles_.erase(static_cast<std::uintptr_t>(file)) == 1;
  if (!open || faults.closeError) {
    model.lastError = faults.closeError.value_or(kErrorInvalidHandle);
    return false;
  }
  return true;
}

}  // namespace sp::test
