// Four-part version numbers, compared only for equality.
#pragma once

#include <cstdint>
#include <string_view>

namespace sp {

struct PackageVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;
};

// The decimal number at the start of `text` as the C runtime's wide-text
// conversion reads it: leading blanks, one optional sign, digits up to the first
// other character; 0 without digits; held within the 32-bit signed range.
std::int32_t ParseDecimal(std::u16string_view text);

// Reads a version text such as "9.1.030.4" (commas count as dots). The first two
// numbers are read only when a further dot follows them, so "9.1" gives 9.0.0.0;
// each field keeps the low 16 bits of its number.
PackageVersion ParseVersion(std::u16string_view text);

bool SameVersion(const PackageVersion& a, const PackageVersion& b);

}  // namespace sp
