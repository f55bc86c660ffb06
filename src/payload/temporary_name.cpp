#include "payload/temporary_name.h"

#include "messages/format.h"

namespace sp {
namespace {

bool EntryExists(Platform& os, const std::u16string& path) {
  return os.GetFileAttributesW(path) != kInvalidFileAttributes;
}

std::u16string ChooseDirectory(Process& process, const std::optional<std::u16string>& directory) {
  Platform& os = process.os;
  if (const auto tmp = os.GetEnvironmentVariableW(u"TMP"); tmp && EntryExists(os, *tmp)) {
    return *tmp;
  }
  if (directory && EntryExists(os, *directory)) {
    return *directory;
  }
  if (EntryExists(os, u"\\")) {
    return u"\\";
  }
  return u".";
}

}  // namespace

std::optional<std::u16string> MakeTemporaryName(Process& process,
                                                const std::optional<std::u16string>& directory,
                                                const std::u16string& prefix) {
  Platform& os = process.os;
  std::u16string base = ChooseDirectory(process, directory);
  if (base.back() != u'\\' && base.back() != u'/') {
    base += u'\\';
  }
  base += prefix;

  TemporaryNameState& state = process.temporaryNames;
  os.EnterNameLock();
  if (prefix.size() > state.previousPrefixLength) {
    state.counter = 1;
  }
  state.previousPrefixLength = prefix.size();
  std::optional<std::u16string> name;
  for (std::uint32_t attempt = 0; attempt < kTemporaryNameAttempts && !name; ++attempt) {
    ++state.counter;
    std::u16string candidate = base + DecimalText(state.counter);
    // A name whose attributes cannot be read for lack of access may well exist.
    if (os.GetFileAttributesW(candidate) == kInvalidFileAttributes &&
        os.GetLastError() != win::kErrorAccessDenied) {
      name = std::move(candidate);
    }
  }
  os.LeaveNameLock();
  return name;
}

}  // namespace sp
