#include "messages/format.h"

namespace sp {
std::u16string DecimalText(std::uint32_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::u16string FormatMessageText(std::u16string_view text, const MessageArgument& argument) {
  std::u16string out;
  out.reserve(text.size() + 64);
  bool argumentUsed = std::holds_alternative<std::monostate>(argument);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char16_t next = text[i + 1];
    if (next == u'%') {
      out.push_back(u'%');
      ++i;
    } else if ((next == u'd' || next == u's') && !argumentUsed) {
      argumentUsed = true;
      if (const auto* number = std::get_if<std::int32_t>(&argument)) {
        // The magnitude of any 32-bit value fits 32 unsigned bits.
        const auto bits = static_cast<std::uint32_t>(*number);
        if (*number < 0) {
          out += u'-';
        }
        out += DecimalText(*number < 0 ? 0u - bits : bits);
      } else {
        out.append(std::get<std::u16string_view>(argument));
      }
      ++i;
    } else {
      out.push_back(u'%');
    }
  }
  return out;
}

}  // namespace sp
