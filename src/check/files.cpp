#include "check/files.h"

#include <cstddef>
#include <span>

#include "platform/owned.h"

namespace sp::check {
namespace {

constexpr std::uint32_t kLongPath = 32768;

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// "\\server" and "\\server\share" are no folders to make.
bool IsServerOrShare(const std::u16string& prefix) {
  if (prefix.size() < 2 || !IsSeparator(prefix[0]) || !IsSeparator(prefix[1])) {
    return false;
  }
  std::size_t separators = 0;
  for (std::size_t i = 2; i < prefix.size(); ++i) {
    separators += IsSeparator(prefix[i]) ? 1 : 0;
  }
  return separators < 2;
}

}  // namespace

std::u16string FullPath(Platform& os, const std::u16string& path) {
  const FullPathResult full = os.GetFullPathNameW(path, kLongPath);
  return full.result == 0 || full.path.empty() ? path : full.path;
}

std::u16string Join(const std::u16string& folder, std::u16string_view name) {
  if (!folder.empty() && IsSeparator(folder.back())) {
    return folder + std::u16string(name);
  }
  return folder + u"\\" + std::u16string(name);
}

std::u16string FileName(const std::u16string& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

Expected<std::string> ReadWholeFile(Platform& os, const std::u16string& path) {
  OwnedFile file(os,
                 os.CreateFileW(path, win::kGenericRead, win::kFileShareRead | win::kFileShareWrite,
                                win::kOpenExisting, win::kFileAttributeNormal));
  if (!file) {
    return LastErrorFailure(os);
  }
  std::string bytes;
  std::byte buffer[65536];
  for (;;) {
    const ReadResult read = os.ReadFile(file.get(), std::span<std::byte>(buffer));
    if (!read.ok) {
      return Failure(read.error);
    }
    if (read.read == 0) {
      return bytes;
    }
    bytes.append(reinterpret_cast<const char*>(buffer), read.read);
  }
}

Status WriteWholeFile(Platform& os, const std::u16string& path, std::string_view bytes) {
  OwnedFile file(os, os.CreateFileW(path, win::kGenericWrite, 0, win::kCreateAlways,
                                    win::kFileAttributeNormal));
  if (!file) {
    return LastErrorFailure(os);
  }
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const WriteResult written =
        os.WriteFile(file.get(), std::span<const std::byte>(data + done, bytes.size() - done));
    if (!written.ok) {
      return Failure(written.error);
    }
    if (written.written == 0) {
      return Failure::WithoutCode();  // a write that took nothing has no error of its own
    }
    done += written.written;
  }
  if (!file.Close()) {
    return LastErrorFailure(os);
  }
  return Status();
}

Status MakeFolders(Platform& os, const std::u16string& path) {
  for (std::size_t at = 0; at <= path.size(); ++at) {
    if (at != path.size() && !IsSeparator(path[at])) {
      continue;
    }
    const std::u16string prefix = path.substr(0, at);
    // Skip the drive ("C:"), a UNC server and share, and what already stands.
    if (prefix.empty() || prefix.back() == u':' || prefix == u"\\" ||
        (os.GetFileAttributesW(prefix) != kInvalidFileAttributes)) {
      continue;
    }
    if (IsServerOrShare(prefix)) {
      continue;
    }
    if (!os.CreateDirectoryW(prefix) && os.GetLastError() != win::kErrorAlreadyExists) {
      return LastErrorFailure(os);
    }
  }
  const std::uint32_t attributes = os.GetFileAttributesW(path);
  if (attributes == kInvalidFileAttributes || (attributes & win::kFileAttributeDirectory) == 0) {
    return Failure(win::kErrorPathNotFound);
  }
  return Status();
}

bool FileExists(Platform& os, const std::u16string& path) {
  const std::uint32_t attributes = os.GetFileAttributesW(path);
  return attributes != kInvalidFileAttributes && (attributes & win::kFileAttributeDirectory) == 0;
}

bool RemoveFile(Platform& os, const std::u16string& path) {
  return !FileExists(os, path) || os.DeleteFileW(path);
}

}  // namespace sp::check

namespace sp::check {

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    bool valid = lead < 0x80 || (lead >= 0xC2 && lead < 0xF5);
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0;
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
      out += u'\xFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return out;
}

}  // namespace sp::check
