// Whole-file reads and writes and folders for the release check's report, over
// the platform seam. The check writes only inside its report folder.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/status.h"

namespace sp::check {

// The full form of `path` (relative to the current directory), or `path` itself
// when the platform cannot make one.
std::u16string FullPath(Platform& os, const std::u16string& path);

// "folder\name", with one backslash between them.
std::u16string Join(const std::u16string& folder, std::u16string_view name);

// The file's name after its last backslash or slash.
std::u16string FileName(const std::u16string& path);

Expected<std::string> ReadWholeFile(Platform& os, const std::u16string& path);
// Replaces whatever stands at `path` with exactly `bytes`.
Status WriteWholeFile(Platform& os, const std::u16string& path, std::string_view bytes);
// Makes `path` and every missing folder above it.
Status MakeFolders(Platform& os, const std::u16string& path);
bool FileExists(Platform& os, const std::u16string& path);
// Deletes the file when there is one; true when none stands there afterwards.
bool RemoveFile(Platform& os, const std::u16string& path);

}  // namespace sp::check

namespace sp::check {

// UTF-8 as UTF-16; a malformed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view bytes);

}  // namespace sp::check
