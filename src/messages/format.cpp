#include "messages/format.h"

namespace sp {
namespace {

void AppendDecimal(std::u16string& out, std::int32_t value) {
  std::int64_t magnitude = value;
  if (magnitude < 0) {
    out.push_back(u'-');
    magnitude = -magnitude;
  }
  char16_t digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) {
    out.push_back(digits[--count]);
  }
}

}  // namespace

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
        AppendDecimal(out, *number);
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
