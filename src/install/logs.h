// Where the per-product Windows Installer logs go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace sp {

// Log paths must fit a buffer of this many characters, the null included.
inline constexpr std::uint32_t kLogPathCapacity = 260;

// The temporary directory without its trailing backslash, created if it is
// missing; "c:" when there is none, it does not fit `capacity`, or it cannot be made.
std::u16string GetLogDirectory(Platform& os, std::uint32_t capacity);

// Removes one trailing backslash, except the one of a drive root such as "C:\".
void StripTrailingBackslash(std::u16string& path);

bool DirectoryExists(Platform& os, const std::u16string& path);

// Whether a Windows Installer log may be written at `path`: nothing stands there
// yet, or a plain file of its own. A folder, a reparse point, a file with more
// than one link or one whose final path lies elsewhere is not used: the installer
// would write through it into someone else's file.
bool IsPlainLogPath(Platform& os, const std::u16string& path);

// "<directory>\<product name>.log" with the name made safe for a file name; in
// "c:" when that is too long; none when even that does not fit.
std::optional<std::u16string> LogFilePath(const std::u16string& directory,
                                          const std::u16string& productName);

}  // namespace sp
