// Where the per-product Windows Installer logs go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/checked_file.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

// Log paths must fit a buffer of this many characters, the null included.
inline constexpr std::uint32_t kLogPathCapacity = 260;

// The temporary directory without its trailing backslash, created if it is
// missing; "c:" when there is none, it does not fit `capacity`, or it cannot be made.
std::u16string GetLogDirectory(Platform& os, std::uint32_t capacity);

// Removes one trailing backslash, except the one of a drive root such as "C:\".
void StripTrailingBackslash(std::u16string& path);

bool DirectoryExists(Platform& os, const std::u16string& path);

// Makes `path` a new, empty file of the run's own for a product's Windows
// Installer log and holds it, for as long as the caller keeps the result, with
// write access and sharing reading and writing but not deletion: the installer,
// which opens the log by name, can write it; nobody can delete, rename or replace
// it. A plain file of the folder's own that stands there is removed first. Where
// it cannot be removed, or a folder, a link or a file with a second link stands
// there, or another file took the name between the check and the hold, there is
// no log (the failure).
Expected<CheckedFile> HoldNewLog(Platform& os, const std::u16string& path);

// "<directory>\<product name>.log" with the name made safe for a file name; in
// "c:" when that is too long; none when even that does not fit.
std::optional<std::u16string> LogFilePath(const std::u16string& directory,
                                          const std::u16string& productName);

// Where the product logs go beside the run log "<folder>\<name>.<extension>":
// "<folder>\<name>_", which the product name and ".log" follow.
std::u16string ProductLogStem(const std::u16string& runLog);

// Beside the run log: "<folder>\<name>_<product name>.log", the product name made
// safe as above; none when it does not fit.
std::optional<std::u16string> LogFileBeside(const std::u16string& runLog,
                                            const std::u16string& productName);

}  // namespace sp
