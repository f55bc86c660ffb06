// The one rule for every file the program writes or hands on: it is opened
// once, checked on that handle, and used through that handle. The check: a plain
// file (no folder, no reparse point) with one link, in a folder that is no
// reparse point, whose final path is its folder's final path and its name; so a
// link, a junction or a hard link planted at the name is never written through.
// Where another component opens the file by name (Windows Installer's log and
// package), the caller holds a CheckedFile from the check until that component
// is done, shared so that nobody can rename, delete or replace it meanwhile.
#pragma once

#include <cstdint>
#include <string>

#include "platform/owned.h"
#include "platform/status.h"

namespace sp {

namespace win {
// ERROR_CANT_ACCESS_FILE: what a file refused by the check reports.
inline constexpr std::uint32_t kErrorCannotAccessFile = 1920;
}  // namespace win

// One file on the machine, whatever names lead to it.
struct FileIdentity {
  std::uint32_t volumeSerial = 0;
  std::uint64_t fileIndex = 0;
  bool operator==(const FileIdentity&) const = default;
};

class CheckedFile {
 public:
  // CreateFileW(path, access, share, disposition), then the check on the handle.
  // OPEN_ALWAYS is made of CREATE_NEW and, where the file exists, OPEN_EXISTING.
  // A file that fails the check is refused with kErrorCannotAccessFile; when this
  // open created it and `access` holds DELETE, it is deleted through the handle,
  // so that nothing stays where a link pointed.
  static Expected<CheckedFile> Open(Platform& os, const std::u16string& path, std::uint32_t access,
                                    std::uint32_t share, std::uint32_t disposition);

  CheckedFile(CheckedFile&&) noexcept = default;
  CheckedFile& operator=(CheckedFile&&) noexcept = default;
  ~CheckedFile() = default;  // closes the handle; the file stays

  FileHandle get() const { return file_.get(); }
  const FileIdentity& identity() const { return identity_; }
  // The file's final path in the form other programs take ("C:\...", "\\server\...").
  const std::u16string& finalPath() const { return finalPath_; }

  // Closes the handle and says whether that went cleanly.
  bool Close() { return file_.Close(); }
  // Deletes the file through its handle (which needs DELETE access), then closes
  // it; true when the deletion was accepted.
  bool Delete();

 private:
  CheckedFile(OwnedFile file, FileIdentity identity, std::u16string finalPath);

  OwnedFile file_;
  FileIdentity identity_;
  std::u16string finalPath_;
};

// A path as GetFinalPathNameByHandleW gives it ("\\?\C:\x", "\\?\UNC\s\x") in the
// form that other programs take ("C:\x", "\\s\x").
std::u16string WithoutLongPathPrefix(const std::u16string& path);

}  // namespace sp
