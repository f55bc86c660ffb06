// The texts the double and the tests convert: UTF-8 for the call log and the
// files, UTF-16 for the program, bytes for files and resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sp::test {

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);
std::vector<std::byte> Bytes(std::string_view text);
std::string Text(const std::vector<std::byte>& bytes);
// "0x" and lower-case hexadecimal digits, as the call log writes flags.
std::string Hex(std::uintptr_t value);
std::string Decimal(std::int64_t value);

}  // namespace sp::test
