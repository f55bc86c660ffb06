// The run's own record of what it found and decided ("/log <file>"), for the
// administrator who deploys it silently: lines appended to a file, each the local
// time "YYYY-MM-DD HH:MM:SS", a blank and the text, in UTF-8 ending in CR LF, with
// control characters written as \xNN. A log that cannot be opened or written never
// stops or changes the run: it falls silent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/checked_file.h"

namespace sp {

class RunLog {
 public:
  RunLog() = default;  // writes nothing

  // Opens the file at `path` for appending, creating it (not its folder) if it
  // is missing, and checks it on its handle; a silent log when it cannot be
  // opened or is refused (a link, a folder or a file with a second link; one this
  // open created is deleted again).
  static RunLog Open(Platform& os, const std::u16string& path);

  // One line; nothing once the log has fallen silent.
  void Write(std::u16string_view text);
  bool writing() const { return file_.has_value(); }
  // Where the log is written, as its handle's final path; empty when it is silent.
  std::u16string path() const { return file_ ? file_->finalPath() : std::u16string(); }

 private:
  RunLog(Platform& os, CheckedFile file);

  Platform* os_ = nullptr;
  std::optional<CheckedFile> file_;
};

// The text of one line as the log writes it: control characters as \xNN, in UTF-8.
std::string RunLogText(std::u16string_view text);

// UTF-16 as UTF-8; half a surrogate pair becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

}  // namespace sp
