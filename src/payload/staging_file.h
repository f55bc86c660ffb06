// A new file written beside a target that takes the target's place only once it
// is whole: a failure anywhere leaves the target as it was and no staging file.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/checked_file.h"
#include "platform/status.h"

namespace sp {

class StagingFile {
 public:
  // "<target>.partial", or ".partial2" up to ".partial9" when that name is
  // someone else's (or a link stands there), created new, shared with nobody and
  // checked on its handle before anything is written.
  static Expected<StagingFile> Create(Platform& os, const std::u16string& target);

  StagingFile(StagingFile&& other) noexcept;
  StagingFile& operator=(StagingFile&&) = delete;
  ~StagingFile();  // discards the file unless it was kept

  // All of `bytes`, or a failure; a short write counts as 1603.
  Status Write(std::span<const std::byte> bytes);
  // The file written, which Keep() puts in the target's place.
  const FileIdentity& identity() const { return file_.identity(); }
  // Puts the file on disk and renames it over the target. On failure the file is
  // discarded and the target is untouched.
  Status Keep();

 private:
  StagingFile(Platform& os, std::u16string target, std::u16string path, CheckedFile file);
  void Discard();

  Platform* os_;
  std::u16string target_;
  std::u16string path_;
  CheckedFile file_;
  bool done_ = false;  // kept or discarded
};

}  // namespace sp
