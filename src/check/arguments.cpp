#include "check/arguments.h"

namespace sp::check {
namespace {

bool ParseSeconds(const std::u16string& text, std::uint32_t& seconds) {
  if (text.empty() || text.size() > 5) {
    return false;
  }
  std::uint32_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') {
      return false;
    }
    value = value * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  if (value == 0 || value > kLongestTimeoutSeconds) {
    return false;
  }
  seconds = value;
  return true;
}

ParsedArguments Refused(std::u16string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

}  // namespace

ParsedArguments ParseCheckArguments(const std::vector<std::u16string>& argv) {
  ParsedArguments parsed;
  std::vector<std::u16string> positional;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::u16string& argument = argv[i];
    if (argument == u"--report" || argument == u"--timeout") {
      if (i + 1 == argv.size()) {
        return Refused(argument + u" needs a value");
      }
      const std::u16string& value = argv[++i];
      if (argument == u"--report") {
        if (value.empty()) {
          return Refused(u"--report needs a folder");
        }
        parsed.arguments.reportFolder = value;
      } else if (!ParseSeconds(value, parsed.arguments.timeoutSeconds)) {
        return Refused(u"--timeout takes whole seconds from 1 to 86400, not \"" + value + u"\"");
      }
    } else if (argument.size() >= 2 && argument.compare(0, 2, u"--") == 0) {
      return Refused(u"unknown option " + argument);
    } else if (argument.empty()) {
      return Refused(u"an empty argument");
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() < 2) {
    return Refused(u"a service pack and at least one product (.msi) are needed");
  }
  parsed.arguments.pack = positional.front();
  parsed.arguments.products.assign(positional.begin() + 1, positional.end());
  parsed.ok = true;
  return parsed;
}

std::u16string UsageText() {
  return u"usage: servicepack-check.exe <servicepack.exe> <product.msi> [<product.msi> ...] "
         u"[--report <folder>] [--timeout <seconds>]\r\n"
         u"Run as administrator on a test machine where none of the pack's target products is "
         u"installed. Exit code 0: every check passed; 1: one failed; 2: usage error or a "
         u"machine the check must not touch.\r\n";
}

}  // namespace sp::check
