// Finding a raw resource of the program: a look-up, then its size, load and lock.
// The patch package, the notes and the string-table blocks all come this way.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

struct RawResource {
  enum class State { kFound, kMissing, kUnusable };
  State state = State::kMissing;
  std::span<const std::byte> bytes;          // valid for the life of the process
  Failure failure = Failure::WithoutCode();  // why it is missing or unusable
};

// Looked up by name and type alone, or in exactly `language` when one is given.
// Missing when the look-up fails; unusable when it is found but its size is 0 or
// it cannot be loaded or locked.
RawResource FindRawResource(Platform& os, ModuleHandle module, const std::u16string& name,
                            const std::u16string& type,
                            std::optional<std::uint16_t> language = std::nullopt);

}  // namespace sp
