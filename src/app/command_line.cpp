#include "app/command_line.h"

#include <new>
#include <string_view>

namespace sp {
namespace {

// Whole-argument comparison, ASCII letters only folded: "/Q" is "/q", "/qx" is nothing.
bool IsOption(const std::u16string& argument, std::u16string_view option) {
  if (argument.size() != option.size()) {
    return false;
  }
  for (std::size_t i = 0; i < option.size(); ++i) {
    char16_t c = argument[i];
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
    if (c != option[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCommandLine(Platform& os, RunOptions& options) {
  const auto arguments = os.CommandLineToArgvW(os.GetCommandLineW());
  const std::size_t count = arguments ? arguments->size() : 0;

  options.quiet = false;
  options.passive = false;
  options.noRestart = false;
  options.help = false;
  options.extract = false;
  options.extractionPath.clear();
  options.patchList = false;
  options.patchListPath.clear();
  options.logPath.reset();
  options.install = true;

  try {
    for (std::size_t i = 1; i < count;) {
      const std::u16string& argument = (*arguments)[i];
      if (IsOption(argument, u"/q") || IsOption(argument, u"/quiet") ||
          IsOption(argument, u"/qn")) {
        options.quiet = true;
        i += 1;
      } else if (IsOption(argument, u"/passive")) {
        options.passive = true;
        i += 1;
      } else if (IsOption(argument, u"/norestart")) {
        options.noRestart = true;
        i += 1;
      } else if (IsOption(argument, u"/?") || IsOption(argument, u"/h") ||
                 IsOption(argument, u"/help")) {
        options.help = true;
        i += 1;
      } else if (IsOption(argument, u"/log")) {
        // As for "/e": the next argument is the file, whatever it looks like.
        if (i + 1 < count) {
          options.logPath = (*arguments)[i + 1];
          i += 2;
        } else {
          i += 1;
        }
      } else if (IsOption(argument, u"/e") || IsOption(argument, u"/p")) {
        // The next argument, whatever it looks like, is the mode's path.
        const bool extract = IsOption(argument, u"/e");
        bool& mode = extract ? options.extract : options.patchList;
        std::u16string& path = extract ? options.extractionPath : options.patchListPath;
        mode = true;
        options.install = false;
        if (i + 1 < count) {
          path = (*arguments)[i + 1];
          i += 2;
        } else {
          i += 1;
        }
      } else if (IsOption(argument, u"/i")) {
        options.install = false;
        options.list = true;
        break;
      } else {
        i += 1;
      }
    }
  } catch (const std::bad_alloc&) {
    // A path that cannot be stored ends the walk; what was read so far stands.
  }
  return true;
}

}  // namespace sp
