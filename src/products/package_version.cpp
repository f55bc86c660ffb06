#include "products/package_version.h"

#include <algorithm>
#include <limits>
#include <string>

namespace sp {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

std::uint16_t Field(std::u16string_view piece) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(ParseDecimal(piece)));
}

}  // namespace

std::int32_t ParseDecimal(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - u'0'), kLimit);
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

PackageVersion ParseVersion(std::u16string_view text) {
  PackageVersion version;
  std::u16string copy(text);
  for (char16_t& c : copy) {
    if (c == u',') {
      c = u'.';
    }
  }
  std::u16string_view rest = copy;

  std::size_t dot = rest.find(u'.');
  if (dot == std::u16string_view::npos) {
    return version;
  }
  version.major = Field(rest.substr(0, dot));
  rest.remove_prefix(dot + 1);

  dot = rest.find(u'.');
  if (dot == std::u16string_view::npos) {
    return version;
  }
  version.minor = Field(rest.substr(0, dot));
  rest.remove_prefix(dot + 1);

  dot = rest.find(u'.');
  if (dot == std::u16string_view::npos) {
    if (!rest.empty()) {
      version.build = Field(rest);
    }
    return version;
  }
  version.build = Field(rest.substr(0, dot));
  rest.remove_prefix(dot + 1);
  if (!rest.empty()) {
    version.revision = Field(rest);
  }
  return version;
}

bool SameVersion(const PackageVersion& a, const PackageVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.build == b.build && a.revision == b.revision;
}

}  // namespace sp
