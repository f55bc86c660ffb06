#include "payload/extract.h"

#include "payload/staging_file.h"
#include "platform/resource.h"

namespace sp {
namespace {

constexpr std::uint32_t kTempPathCapacity = 1024;
// Attempts at a fresh name when another process takes ours between test and create.
constexpr int kCreateAttempts = 16;

// The package in a new file of its own, opened for writing alone, nobody else
// sharing it; a file that cannot be written whole and closed is removed again. It
// is not flushed: only Windows Installer reads it, within this run, so it needs to
// outlive no crash. A name taken meanwhile, or one where a link stands, gives way
// to the next.
Expected<FileIdentity> ExtractToTemporaryName(Platform& os, TemporaryNameGenerator& names,
                                              std::u16string& packagePath,
                                              const std::u16string& directory,
                                              std::span<const std::byte> bytes) {
  for (int attempt = 1;; ++attempt) {
    auto file =
        CheckedFile::Open(os, packagePath, win::kGenericWrite | win::kDelete, 0, win::kCreateNew);
    if (file.ok()) {
      Status failure;
      if (const WriteResult written = os.WriteFile(file->get(), bytes); !written.ok) {
        failure = LastErrorStatus(os);
      } else if (written.written != bytes.size()) {
        failure = Status::Failure(win::kErrorSuccess);
      }
      if (!failure.ok()) {
        // Removed through the handle that wrote it; the write's failure is the news.
        static_cast<void>(file->Delete());
        return failure;
      }
      if (!file->Close()) {
        const Status closing = LastErrorStatus(os);
        os.DeleteFileW(packagePath);
        return closing;
      }
      return file->identity();
    }
    const std::uint32_t error = file.status().code();
    if ((error != win::kErrorFileExists && error != win::kErrorCannotAccessFile) ||
        attempt == kCreateAttempts) {
      return file.status();
    }
    auto next = names.MakeTemporaryName(directory, u"MSP");
    if (!next.ok()) {
      return next.status();
    }
    packagePath = std::move(*next);
  }
}

Expected<FileIdentity> ExtractToCallersPath(Platform& os, const std::u16string& packagePath,
                                            std::span<const std::byte> bytes) {
  auto staging = StagingFile::Create(os, packagePath);
  if (!staging.ok()) {
    return staging.status();
  }
  if (const Status written = staging->Write(bytes); !written.ok()) {
    return written;
  }
  const FileIdentity file = staging->identity();
  if (const Status kept = staging->Keep(); !kept.ok()) {
    return kept;
  }
  return file;
}

}  // namespace

Expected<WrittenPackage> ExtractPatchPackage(Platform& os, ModuleHandle module,
                                             TemporaryNameGenerator& names,
                                             std::u16string& packagePath,
                                             const std::u16string& resourceName) {
  const bool temporary = packagePath.empty();
  std::u16string directory;
  if (temporary) {
    const TempPathResult temp = os.GetTempPathW(kTempPathCapacity);
    if (temp.result == 0) {
      return LastErrorStatus(os);
    }
    if (temp.result > kTempPathCapacity) {
      return Status::Failure(win::kErrorSuccess);  // a directory that does not fit names no code
    }
    directory = temp.path;
    auto name = names.MakeTemporaryName(directory, u"MSP");
    if (!name.ok()) {
      return name.status();
    }
    packagePath = std::move(*name);
  }

  const RawResource package = FindRawResource(os, module, resourceName, u"MSP");
  if (package.state != RawResource::State::kFound) {
    return package.failure;
  }
  const Expected<FileIdentity> written =
      temporary ? ExtractToTemporaryName(os, names, packagePath, directory, package.bytes)
                : ExtractToCallersPath(os, packagePath, package.bytes);
  if (!written.ok()) {
    return written.status();
  }
  return WrittenPackage{package.bytes, *written};
}

}  // namespace sp
