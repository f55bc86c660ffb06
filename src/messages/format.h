// Fills the one value a catalogue message carries into its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace sp {

using MessageArgument = std::variant<std::monostate, std::int32_t, std::u16string_view>;

// `value` in decimal, without leading zeros.
std::u16string DecimalText(std::uint32_t value);

// The first "%d" or "%s" takes the argument (a number in decimal, or the text);
// "%%" gives "%"; every other "%" sequence, a "%" at the end, a later
// conversion and any conversion when there is no argument stay as they stand.
// The result grows as needed, whatever the lengths of the text and the argument.
std::u16string FormatMessageText(std::u16string_view text, const MessageArgument& argument);

}  // namespace sp
