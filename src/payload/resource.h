// Finding a raw resource of the program: a look-up, then its size, load and lock.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "app/process.h"

namespace sp {

struct RawResource {
  enum class State { kFound, kMissing, kUnusable };
  State state = State::kMissing;
  std::span<const std::byte> bytes;  // valid for the life of the process
};

// Missing when the look-up fails; unusable when it is found but its size is 0 or
// it cannot be loaded or locked. On failure the thread's last error is what the
// failing call left, 0 when it left none.
RawResource FindRawResource(Process& process, const std::u16string& name,
                            const std::u16string& type);

}  // namespace sp
