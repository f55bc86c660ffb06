#include "payload/temporary_name.h"

#include "messages/format.h"

namespace sp {

std::u16string TemporaryNameGenerator::ChooseDirectory(
    const std::optional<std::u16string>& directory) {
  const auto exists = [this](const std::u16string& path) {
    return os_.GetFileAttributesW(path) != kInvalidFileAttributes;
  };
  if (const auto tmp = os_.GetEnvironmentVariableW(u"TMP"); tmp && exists(*tmp)) {
    return *tmp;
  }
  if (directory && exists(*directory)) {
    return *directory;
  }
  if (exists(u"\\")) {
    return u"\\";
  }
  return u".";
}

Expected<std::u16string> TemporaryNameGenerator::MakeTemporaryName(
    const std::optional<std::u16string>& directory, const std::u16string& prefix) {
  std::u16string base = ChooseDirectory(directory);
  if (base.back() != u'\\' && base.back() != u'/') {
    base += u'\\';
  }
  base += prefix;

  std::optional<std::u16string> name;
  Failure refused = Failure::WithoutCode();  // set by each attempt that finds no name
  {
    const HeldLock held(*lock_);
    if (prefix.size() > previousPrefixLength_) {
      counter_ = 1;
    }
    previousPrefixLength_ = prefix.size();
    for (std::uint32_t attempt = 0; attempt < kTemporaryNameAttempts && !name; ++attempt) {
      ++counter_;
      std::u16string candidate = base + DecimalText(counter_);
      if (os_.GetFileAttributesW(candidate) != kInvalidFileAttributes) {
        refused = Failure(win::kErrorFileExists);
      } else if (const std::uint32_t error = os_.GetLastError(); error == win::kErrorAccessDenied) {
        // A name whose attributes cannot be read for lack of access may well exist.
        refused = Failure(error);
      } else {
        name = std::move(candidate);
      }
    }
  }
  if (!name) {
    return refused;
  }
  return std::move(*name);
}

}  // namespace sp
