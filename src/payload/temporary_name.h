// Names for temporary files: a directory, a prefix and a process-wide counter.
#pragma once

#include <optional>
#include <string>

#include "app/process.h"

namespace sp {

// Tests at most this many names in one request before giving up.
inline constexpr std::uint32_t kTemporaryNameAttempts = 65536;

// A name in the directory named by "TMP", else `directory`, else the root of the
// current drive, else the current directory: the directory, a backslash, the
// prefix and the next number of the counter that names no existing entry. Creates
// nothing; none when every attempt is taken.
std::optional<std::u16string> MakeTemporaryName(Process& process,
                                                const std::optional<std::u16string>& directory,
                                                const std::u16string& prefix);

}  // namespace sp
