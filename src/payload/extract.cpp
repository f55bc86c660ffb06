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
      std::optional<Failure> failure;
      if (const WriteResult written = os.WriteFile(file->get(), bytes); !written.ok) {
        failure = Failure(written.error);
      } else if (written.written != bytes.size()) {
        failure = Failure::WithoutCode();
      }
      if (failure) {
        // Removed through the handle that wrote it; the write's failure is the news.
        static_cast<void>(file->Delete());
        return *failure;
      }
      if (!file->Close()) {
        const Failure closing = LastErrorFailure(os);
        // What may not be on disk goes; the close's failure is the news either way.
        static_cast<void>(os.DeleteFileW(packagePath));
        return closing;
      }
      return file->identity();
    }
    const std::uint32_t error = file.status().code();
    if ((error != win::kErrorFileExists && error != win::kErrorCannotAccessFile) ||
        attempt == kCreateAttempts) {
      return file.failure();
    }
    auto next = names.MakeTemporaryName(directory, u"MSP");
    if (!next.ok()) {
      return next.failure();
    }
    packagePath = std::move(*next);
  }
}

Expected<FileIdentity> ExtractToCallersPath(Platform& os, const std::u16string& packagePath,
                                            std::span<const std::byte> bytes) {
  auto staging = StagingFile::Create(os, packagePath);
  if (!staging.ok()) {
    return staging.failure();
  }
  if (const Status written = staging->Write(bytes); !written.ok()) {
    return written.failure();
  }
  const FileIdentity file = staging->identity();
  if (const Status kept = staging->Keep(); !kept.ok()) {
    return kept.failure();
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
      return Failure(temp.error);
    }
    if (temp.result > kTempPathCapacity) {
      return Failure::WithoutCode();  // a directory that does not fit names no code
    }
    directory = temp.path;
    auto name = names.MakeTemporaryName(directory, u"MSP");
    if (!name.ok()) {
      return name.failure();
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
    return written.failure();
  }
  return WrittenPackage{package.bytes, *written};
}

}  // namespace sp
