#include "messages/run_log.h"

#include <cstddef>
#include <span>

namespace sp {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendNumber(std::string& out, unsigned value, std::size_t digits) {
  std::string number;
  for (std::size_t i = 0; i < digits; ++i, value /= 10) {
    number.insert(number.begin(), static_cast<char>('0' + value % 10));
  }
  out += number;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // half a pair has no UTF-8 form
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string RunLogText(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20 || c == 0x7F) {
      out += ToUtf8(text.substr(start, i - start));
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      start = i + 1;
    }
  }
  return out + ToUtf8(text.substr(start));
}

RunLog::RunLog(Platform& os, CheckedFile file) : os_(&os), file_(std::move(file)) {}

RunLog RunLog::Open(Platform& os, const std::u16string& path) {
  auto file = CheckedFile::Open(os, path, win::kGenericWrite | win::kDelete, win::kFileShareRead,
                                win::kOpenAlways);
  if (!file.ok() || !os.SetFilePointerEx(file->get(), 0, win::kFileEnd)) {
    return RunLog();
  }
  return RunLog(os, std::move(*file));
}

void RunLog::Write(std::u16string_view text) {
  if (!file_) {
    return;
  }
  const LocalTime now = os_->GetLocalTime();
  const struct {
    unsigned value;
    std::size_t digits;
    char after;
  } fields[] = {{now.year, 4, '-'}, {now.month, 2, '-'},  {now.day, 2, ' '},
                {now.hour, 2, ':'}, {now.minute, 2, ':'}, {now.second, 2, ' '}};
  std::string line;
  for (const auto& field : fields) {
    AppendNumber(line, field.value, field.digits);
    line += field.after;
  }
  line += RunLogText(text);
  line += "\r\n";
  const auto bytes = std::as_bytes(std::span<const char>(line));
  const WriteResult written = os_->WriteFile(file_->get(), bytes);
  if (!written.ok || written.written != bytes.size()) {
    file_.reset();  // falls silent; the run goes on
  }
}

}  // namespace sp
