#include "payload/staging_file.h"

#include <utility>

namespace sp {

StagingFile::StagingFile(Platform& os, std::u16string target, std::u16string path, CheckedFile file)
    : os_(&os), target_(std::move(target)), path_(std::move(path)), file_(std::move(file)) {}

StagingFile::StagingFile(StagingFile&& other) noexcept
    : os_(other.os_),
      target_(std::move(other.target_)),
      path_(std::move(other.path_)),
      file_(std::move(other.file_)),
      done_(std::exchange(other.done_, true)) {}

StagingFile::~StagingFile() {
  Discard();
}

Expected<StagingFile> StagingFile::Create(Platform& os, const std::u16string& target) {
  for (char16_t attempt = u'1';; ++attempt) {
    std::u16string path = target + u".partial";
    if (attempt > u'1') {
      path += attempt;
    }
    auto file = CheckedFile::Open(os, path, win::kGenericWrite | win::kDelete, 0, win::kCreateNew);
    if (file.ok()) {
      return StagingFile(os, target, std::move(path), std::move(*file));
    }
    const std::uint32_t error = file.status().code();
    if ((error != win::kErrorFileExists && error != win::kErrorCannotAccessFile) ||
        attempt == u'9') {
      return file.failure();
    }
  }
}

Status StagingFile::Write(std::span<const std::byte> bytes) {
  const WriteResult written = os_->WriteFile(file_.get(), bytes);
  if (!written.ok) {
    return Failure(written.error);
  }
  return written.written == bytes.size() ? Status() : Failure::WithoutCode();
}

Status StagingFile::Keep() {
  // Bytes are on disk only once flushed and closed; a failure of either is a
  // failed write, and the target stays as it was.
  Status failure;
  if (!os_->FlushFileBuffers(file_.get())) {
    failure = LastErrorFailure(*os_);
  }
  if (!file_.Close() && failure.ok()) {
    failure = LastErrorFailure(*os_);
  }
  if (failure.ok() && !os_->MoveFileReplaceW(path_, target_)) {
    failure = LastErrorFailure(*os_);
  }
  if (!failure.ok()) {
    Discard();
    return failure;
  }
  done_ = true;
  return Status();
}

void StagingFile::Discard() {
  if (!done_) {
    done_ = true;
    // Discarding follows a failure that is already the news; a staging file
    // left behind never takes the target's place.
    static_cast<void>(file_.Close());
    static_cast<void>(os_->DeleteFileW(path_));
  }
}

}  // namespace sp
