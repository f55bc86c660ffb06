// Any text parses into a version; commas and dots read alike.
#include <cstdint>
#include <cstring>
#include <string>

#include "products/package_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  const sp::PackageVersion version = sp::ParseVersion(text);

  std::u16string dotted = text;
  for (char16_t& c : dotted) {
    if (c == u',') {
      c = u'.';
    }
  }
  if (!sp::SameVersion(version, sp::ParseVersion(dotted)) || !sp::SameVersion(version, version)) {
    __builtin_trap();
  }
  return 0;
}
