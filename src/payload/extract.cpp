#include "payload/extract.h"

#include "payload/resource.h"
#include "payload/temporary_name.h"
#include "platform/owned.h"

namespace sp {
namespace {

constexpr std::uint32_t kTempPathCapacity = 1024;
// Attempts at a fresh name when another process takes ours between test and create.
constexpr int kCreateAttempts = 16;

// The package bytes in a file opened for writing alone, nobody else sharing it.
FileHandle CreateNew(Platform& os, const std::u16string& path) {
  return os.CreateFileW(path, win::kGenericWrite, 0, win::kCreateNew, win::kFileAttributeNormal);
}

// Writes everything; on failure removes the file and leaves the write's error.
bool WriteWhole(Platform& os, OwnedFile& file, const std::u16string& path,
                std::span<const std::byte> bytes) {
  const WriteResult written = os.WriteFile(file.get(), bytes);
  if (written.ok && written.written == bytes.size()) {
    return true;
  }
  const std::uint32_t error = written.ok ? 0 : os.GetLastError();
  file.Close();
  os.DeleteFileW(path);
  os.SetLastError(error);
  return false;
}

bool ExtractToTemporaryName(Process& process, std::u16string& packagePath,
                            const std::u16string& directory, std::span<const std::byte> bytes) {
  Platform& os = process.os;
  for (int attempt = 1;; ++attempt) {
    OwnedFile file(os, CreateNew(os, packagePath));
    if (file) {
      return WriteWhole(os, file, packagePath, bytes);
    }
    if (os.GetLastError() != win::kErrorFileExists || attempt == kCreateAttempts) {
      return false;
    }
    auto next = MakeTemporaryName(process, directory, u"MSP");
    if (!next) {
      return false;
    }
    packagePath = std::move(*next);
  }
}

// A new file beside the target: "<target>.partial", or ".partial2" up to
// ".partial9" when that name is someone else's.
OwnedFile CreateStaging(Platform& os, const std::u16string& target, std::u16string& staging) {
  for (char16_t attempt = u'1'; attempt <= u'9'; ++attempt) {
    staging = target + u".partial";
    if (attempt > u'1') {
      staging += attempt;
    }
    OwnedFile file(os, CreateNew(os, staging));
    if (file || os.GetLastError() != win::kErrorFileExists) {
      return file;
    }
  }
  return OwnedFile(os, kInvalidFile);
}

// The whole package goes to a new file beside the target first, so that a
// failure leaves the target as it was.
bool ExtractToCallersPath(Platform& os, const std::u16string& packagePath,
                          std::span<const std::byte> bytes) {
  std::u16string staging;
  OwnedFile file = CreateStaging(os, packagePath, staging);
  if (!file) {
    return false;
  }
  if (!WriteWhole(os, file, staging, bytes)) {
    return false;
  }
  os.FlushFileBuffers(file.get());
  file.Close();
  if (!os.MoveFileReplaceW(staging, packagePath)) {
    const std::uint32_t error = os.GetLastError();
    os.DeleteFileW(staging);
    os.SetLastError(error);
    return false;
  }
  return true;
}

}  // namespace

bool ExtractPatchPackage(Process& process, std::u16string& packagePath,
                         const std::u16string& resourceName) {
  Platform& os = process.os;
  os.SetLastError(win::kErrorSuccess);
  const bool temporary = packagePath.empty();
  std::u16string directory;
  if (temporary) {
    const TempPathResult temp = os.GetTempPathW(kTempPathCapacity);
    if (temp.result == 0 || temp.result > kTempPathCapacity) {
      return false;
    }
    directory = temp.path;
    auto name = MakeTemporaryName(process, directory, u"MSP");
    if (!name) {
      return false;
    }
    packagePath = std::move(*name);
  }

  const RawResource package = FindRawResource(process, resourceName, u"MSP");
  if (package.state != RawResource::State::kFound) {
    return false;
  }
  return temporary ? ExtractToTemporaryName(process, packagePath, directory, package.bytes)
                   : ExtractToCallersPath(os, packagePath, package.bytes);
}

}  // namespace sp
