#include "payload/patch_list.h"

#include <array>

#include "messages/format.h"
#include "messages/show_message.h"
#include "payload/resource.h"
#include "platform/owned.h"

namespace sp {
namespace {

constexpr std::uint32_t kFirstNote = 206;
constexpr std::array<std::byte, 7> kSeparator = {std::byte{'*'}, std::byte{'*'}, std::byte{'*'},
                                                 std::byte{'*'}, std::byte{'*'}, std::byte{'\r'},
                                                 std::byte{'\n'}};
constexpr std::array<std::byte, 2> kLineEnd = {std::byte{'\r'}, std::byte{'\n'}};

std::u16string NoteName(std::uint32_t id) {
  return u"#" + DecimalText(id);
}

// Shows message 300 with `error` and returns it as the mode's result.
std::uint32_t ReportFailure(Process& process, std::uint32_t error) {
  process.os.SetLastError(error);
  ShowMessage(process, MessageId::kInstallFailed);
  return error;
}

}  // namespace

std::uint32_t WritePatchList(Process& process, std::u16string& patchListPath) {
  Platform& os = process.os;
  if (patchListPath.empty()) {
    patchListPath = kDefaultPatchList;
  }
  OwnedFile file(
      os, os.CreateFileW(patchListPath, win::kGenericRead | win::kGenericWrite, win::kFileShareRead,
                         win::kOpenAlways, win::kFileAttributeNormal));
  if (!file) {
    const std::uint32_t error = FailureCode(os);
    ShowMessage(process, MessageId::kPatchListRequired);
    return error;
  }
  std::uint32_t end = os.SetFilePointer(file.get(), 0, win::kFileEnd);
  if (end == kInvalidSetFilePointer) {
    return ReportFailure(process, FailureCode(os));
  }

  for (std::uint32_t id = kFirstNote;; ++id) {
    const RawResource note = FindRawResource(process, NoteName(id), u"TXT");
    if (note.state == RawResource::State::kMissing) {
      if (id != kFirstNote) {
        return 0;
      }
      const std::uint32_t error = FailureCode(os);
      ShowMessage(process, MessageId::kPatchListRequired);
      return error;
    }
    if (note.state == RawResource::State::kUnusable) {
      return ReportFailure(process, FailureCode(os));
    }
    for (std::span<const std::byte> part : {std::span<const std::byte>(kSeparator), note.bytes,
                                            std::span<const std::byte>(kLineEnd)}) {
      const WriteResult written = os.WriteFile(file.get(), part);
      if (!written.ok || written.written != part.size()) {
        // Cut the file back to where this record began: no partial record stays.
        const std::uint32_t error = written.ok ? win::kErrorInstallFailure : FailureCode(os);
        os.SetFilePointer(file.get(), static_cast<std::int32_t>(end), win::kFileBegin);
        os.SetEndOfFile(file.get());
        return ReportFailure(process, error);
      }
    }
    end += static_cast<std::uint32_t>(kSeparator.size() + note.bytes.size() + kLineEnd.size());
  }
}

}  // namespace sp
