#include "payload/patch_list.h"

#include <array>

#include "messages/format.h"
#include "platform/checked_file.h"
#include "platform/resource.h"

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

}  // namespace

Status WritePatchList(const MessageContext& messages, std::u16string& patchListPath) {
  Platform& os = messages.os;
  if (patchListPath.empty()) {
    patchListPath = kDefaultPatchList;
  }
  // Checked on its handle: a link, a folder or a file with a second link is
  // refused as a file that cannot be opened, and one this open created goes again.
  auto opened =
      CheckedFile::Open(os, patchListPath, win::kGenericRead | win::kGenericWrite | win::kDelete,
                        win::kFileShareRead, win::kOpenAlways);
  if (!opened.ok()) {
    ShowMessage(messages, MessageId::kPatchListRequired);
    return opened.failure();
  }
  const CheckedFile& file = *opened;
  // 64-bit offsets: a list may grow past 4 GiB, and a failed record must be cut
  // back exactly wherever it began.
  const std::optional<std::uint64_t> atEnd = os.SetFilePointerEx(file.get(), 0, win::kFileEnd);
  if (!atEnd) {
    const Failure failure = LastErrorFailure(os);
    ShowFailure(messages, failure);
    return failure;
  }
  std::uint64_t end = *atEnd;

  for (std::uint32_t id = kFirstNote;; ++id) {
    const RawResource note = FindRawResource(os, messages.module, NoteName(id), u"TXT");
    if (note.state == RawResource::State::kMissing) {
      if (id != kFirstNote) {
        return Status();
      }
      ShowMessage(messages, MessageId::kPatchListRequired);
      return note.failure;
    }
    if (note.state == RawResource::State::kUnusable) {
      ShowFailure(messages, note.failure);
      return note.failure;
    }
    for (std::span<const std::byte> part : {std::span<const std::byte>(kSeparator), note.bytes,
                                            std::span<const std::byte>(kLineEnd)}) {
      const WriteResult written = os.WriteFile(file.get(), part);
      if (!written.ok || written.written != part.size()) {
        Failure failure = written.ok ? Failure::WithoutCode() : Failure(written.error);
        // Cut the file back to where this record began: no partial record stays.
        // Where that fails, part of the record does stay, and the failure of the
        // cut-back is the one reported.
        if (!os.SetFilePointerEx(file.get(), static_cast<std::int64_t>(end), win::kFileBegin) ||
            !os.SetEndOfFile(file.get())) {
          failure = LastErrorFailure(os);
          messages.log.Write(u"patch list " + patchListPath +
                             u": part of a record stays, not cut back: error " +
                             DecimalText(failure.code()));
        }
        ShowFailure(messages, failure);
        return failure;
      }
    }
    end += kSeparator.size() + note.bytes.size() + kLineEnd.size();
  }
}

}  // namespace sp
