// The release check's command line:
//   servicepack-check.exe <servicepack.exe> <product.msi> [<product.msi> ...]
//                         [--report <folder>] [--timeout <seconds>]
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sp::check {

inline constexpr std::uint32_t kDefaultTimeoutSeconds = 300;
inline constexpr std::uint32_t kLongestTimeoutSeconds = 86400;

struct CheckArguments {
  std::u16string pack;
  std::vector<std::u16string> products;
  std::u16string reportFolder = u".\\servicepack-check";
  std::uint32_t timeoutSeconds = kDefaultTimeoutSeconds;  // each wait of the check
};

struct ParsedArguments {
  bool ok = false;
  CheckArguments arguments;
  std::u16string error;  // what is wrong, when not ok
};

// `argv` without the program's own name. Options may stand anywhere; a
// "--timeout" takes whole seconds from 1 to 86400.
ParsedArguments ParseCheckArguments(const std::vector<std::u16string>& argv);

std::u16string UsageText();

}  // namespace sp::check
