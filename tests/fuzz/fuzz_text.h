// Turning fuzzer bytes into the program's UTF-16 texts.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

namespace sp::fuzz {

inline std::u16string Text(FuzzedDataProvider& input, std::size_t maxLength) {
  const std::string bytes = input.ConsumeRandomLengthString(maxLength * 2);
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

// A text that is often one of `known`, so that the fuzzer reaches the paths
// those open, and otherwise anything.
template <std::size_t N>
std::u16string TextOrKnown(FuzzedDataProvider& input, const char16_t* const (&known)[N],
                           std::size_t maxLength) {
  if (input.ConsumeBool()) {
    return known[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
  }
  return Text(input, maxLength);
}

}  // namespace sp::fuzz
