#include "payload/held_package.h"

#include <array>
#include <cstring>
#include <span>
#include <utility>

namespace sp {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

HeldPackage::HeldPackage(Platform& os, std::u16string path, CheckedFile file)
    : os_(&os), path_(std::move(path)), file_(std::move(file)) {}

Expected<HeldPackage> HeldPackage::Hold(Platform& os, const std::u16string& path,
                                        const WrittenPackage& written) {
  auto file =
      CheckedFile::Open(os, path, win::kGenericRead, win::kFileShareRead, win::kOpenExisting);
  if (!file.ok()) {
    // What stands at the name now is not the folder's own plain file: not ours.
    return file.failure().code() == win::kErrorCannotAccessFile ? Failure(win::kErrorInstallFailure)
                                                                : file.failure();
  }
  if (file->identity() != written.file) {
    return Failure(win::kErrorInstallFailure);  // another file took the name
  }
  const std::span<const std::byte> expected = written.bytes;
  std::array<std::byte, kChunk> buffer;
  std::size_t compared = 0;
  for (;;) {
    const ReadResult read = os.ReadFile(file->get(), buffer);
    if (!read.ok) {
      return Failure(read.error);
    }
    if (read.read == 0) {
      break;
    }
    // memcmp: the ranges algorithm compares std::byte one at a time, which cost a
    // 64 MiB package about 40 ms of CPU under Wine.
    if (read.read > expected.size() - compared ||
        std::memcmp(buffer.data(), expected.data() + compared, read.read) != 0) {
      return Failure::WithoutCode();
    }
    compared += read.read;
  }
  if (compared != expected.size()) {
    return Failure::WithoutCode();
  }
  return HeldPackage(os, path, std::move(*file));
}

Status HeldPackage::Delete() {
  // A read handle whose close fails is gone all the same; the deletion tells.
  static_cast<void>(file_.Close());
  if (!os_->DeleteFileW(path_)) {
    return LastErrorFailure(*os_);
  }
  return Status();
}

}  // namespace sp
