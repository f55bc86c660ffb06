// Names for temporary files: a directory, a prefix and a process-wide counter.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

// Tests at most this many names in one request before giving up.
inline constexpr std::uint32_t kTemporaryNameAttempts = 65536;

// One per process: the counter goes on from request to request, and the lock it
// owns keeps two requests from testing the same number at once.
class TemporaryNameGenerator {
 public:
  explicit TemporaryNameGenerator(Platform& os) : os_(os), lock_(os.CreateLock()) {}

  // A name in the directory named by "TMP", else `directory`, else the root of
  // the current drive, else the current directory: the directory, a backslash,
  // the prefix and the next number of the counter that names no existing entry.
  // Creates nothing; fails when every attempt is taken.
  Expected<std::u16string> MakeTemporaryName(const std::optional<std::u16string>& directory,
                                             const std::u16string& prefix);

  std::uint32_t counter() const { return counter_; }

 private:
  std::u16string ChooseDirectory(const std::optional<std::u16string>& directory);

  Platform& os_;
  std::unique_ptr<Lock> lock_;
  std::uint32_t counter_ = 1;
  std::size_t previousPrefixLength_ = 0;
};

}  // namespace sp
