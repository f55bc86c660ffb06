#include "platform/checked_file.h"

#include <utility>

namespace sp {
namespace {

constexpr std::uint32_t kShareAll =
    win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;
// The longest path Windows takes, in characters with the null.
constexpr std::uint32_t kLongestPath = 32768;

// "C:\x" and "\\server\x" name a file on their own; anything else is taken from
// the current directory.
bool IsAbsolute(const std::u16string& path) {
  return (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') || path.starts_with(u"\\\\");
}

// ASCII letters folded and trailing backslashes gone: the forms in which two
// final paths of one file may differ.
std::u16string Folded(std::u16string path) {
  while (!path.empty() && path.back() == u'\\') {
    path.pop_back();
  }
  for (char16_t& c : path) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return path;
}

std::u16string Leaf(const std::u16string& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

struct Folder {
  std::u16string path;  // with its backslash when it is a drive root
  std::u16string leaf;  // the file's name in it
};

std::optional<Folder> FolderOf(Platform& os, const std::u16string& path) {
  std::u16string full = path;
  if (!IsAbsolute(path)) {
    const FullPathResult resolved = os.GetFullPathNameW(path, kLongestPath);
    if (resolved.result == 0 || resolved.result >= kLongestPath) {
      return std::nullopt;
    }
    full = resolved.path;
  }
  const std::size_t slash = full.find_last_of(u"\\/");
  if (slash == std::u16string::npos || slash + 1 == full.size()) {
    return std::nullopt;
  }
  const bool driveRoot = slash == 2 && full[1] == u':';
  return Folder{full.substr(0, driveRoot ? 3 : slash), full.substr(slash + 1)};
}

// Whether the file the handle holds is the folder's own file of that name:
// the folder is no reparse point, and the file's final path is the folder's
// final path and the name (or the name's long form, when it was given short).
bool IsTheFoldersOwnFile(Platform& os, const std::u16string& path, const std::u16string& final) {
  const auto folder = FolderOf(os, path);
  if (!folder) {
    return false;
  }
  const OwnedFile handle(
      os, os.CreateFileW(folder->path, 0, kShareAll, win::kOpenExisting,
                         win::kFileFlagBackupSemantics | win::kFileFlagOpenReparsePoint));
  if (!handle) {
    return false;
  }
  const auto information = os.GetFileInformationByHandle(handle.get());
  const auto folderFinal = os.GetFinalPathNameByHandleW(handle.get());
  if (!information || (information->attributes & win::kFileAttributeReparsePoint) != 0 ||
      !folderFinal) {
    return false;
  }
  const std::u16string expected = Folded(*folderFinal) + u"\\";
  if (Folded(final) == expected + Folded(folder->leaf)) {
    return true;
  }
  // A name given in its 8.3 form: the final path holds the long one.
  const std::u16string folded = Folded(final);
  if (!folded.starts_with(expected)) {
    return false;
  }
  const auto shortPath = os.GetShortPathNameW(WithoutLongPathPrefix(final));
  return shortPath && Folded(Leaf(*shortPath)) == Folded(folder->leaf);
}

}  // namespace

std::u16string WithoutLongPathPrefix(const std::u16string& path) {
  if (path.starts_with(u"\\\\?\\UNC\\")) {
    return u"\\\\" + path.substr(8);
  }
  if (path.starts_with(u"\\\\?\\")) {
    return path.substr(4);
  }
  return path;
}

CheckedFile::CheckedFile(OwnedFile file, FileIdentity identity, std::u16string finalPath)
    : file_(std::move(file)), identity_(identity), finalPath_(std::move(finalPath)) {}

Expected<CheckedFile> CheckedFile::Open(Platform& os, const std::u16string& path,
                                        std::uint32_t access, std::uint32_t share,
                                        std::uint32_t disposition) {
  // "Open or create" as two steps, so that the program itself knows whether it
  // made the file: through a dangling link, creating makes the file it leads to.
  const bool openOrCreate = disposition == win::kOpenAlways;
  OwnedFile file(os,
                 os.CreateFileW(path, access, share, openOrCreate ? win::kCreateNew : disposition,
                                win::kFileAttributeNormal));
  bool created = file && (openOrCreate || disposition == win::kCreateNew);
  if (!file && openOrCreate && os.GetLastError() == win::kErrorFileExists) {
    file = OwnedFile(
        os, os.CreateFileW(path, access, share, win::kOpenExisting, win::kFileAttributeNormal));
    created = false;
  }
  if (!file) {
    return LastErrorFailure(os);
  }
  const auto information = os.GetFileInformationByHandle(file.get());
  const auto final = os.GetFinalPathNameByHandleW(file.get());
  if (information && final && information->links == 1 &&
      (information->attributes &
       (win::kFileAttributeDirectory | win::kFileAttributeReparsePoint)) == 0 &&
      IsTheFoldersOwnFile(os, path, *final)) {
    return CheckedFile(std::move(file),
                       FileIdentity{information->volumeSerial, information->fileIndex},
                       WithoutLongPathPrefix(*final));
  }
  if (created && (access & win::kDelete) != 0) {
    // What this open made where a link pointed goes again. A refusal of the
    // deletion leaves an empty file, and the refusal below stands either way.
    static_cast<void>(os.SetFileDispositionDelete(file.get()));
  }
  return Failure(win::kErrorCannotAccessFile);
}

bool CheckedFile::Delete() {
  Platform& os = file_.platform();
  const bool deleted = os.SetFileDispositionDelete(file_.get());
  return file_.Close() && deleted;
}

}  // namespace sp
