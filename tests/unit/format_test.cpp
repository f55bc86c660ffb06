#include "messages/format.h"

#include <climits>

#include <gtest/gtest.h>

#include "recording_platform.h"

namespace sp {
namespace {

struct FormatCase {
  const char* text;
  MessageArgument argument;
  const char* expected;
};

class FormatMessageTextTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatMessageTextTest, FillsTheFirstConversionOnly) {
  const std::u16string text = test::Utf16(GetParam().text);
  EXPECT_EQ(test::Utf8(FormatMessageText(text, GetParam().argument)), GetParam().expected);
}

const std::u16string kName = u"Corvane Studio";

INSTANTIATE_TEST_SUITE_P(
    Texts, FormatMessageTextTest,
    testing::Values(
        FormatCase{"Error Code: %d", std::int32_t{1603}, "Error Code: 1603"},
        FormatCase{"%d", std::int32_t{0}, "0"},
        FormatCase{"%d", std::int32_t{-2147024891}, "-2147024891"},
        FormatCase{"%d", std::int32_t{INT_MIN}, "-2147483648"},
        FormatCase{"%s has been updated.", std::u16string_view(kName),
                   "Corvane Studio has been updated."},
        FormatCase{"[%s]", std::u16string_view(), "[]"},
        // A stray later conversion is shown as it stands, never read.
        FormatCase{"%s and %s and %d", std::u16string_view(kName), "Corvane Studio and %s and %d"},
        FormatCase{"%d then %s", std::int32_t{5}, "5 then %s"},
        // Either conversion takes the one argument, whatever its kind.
        FormatCase{"code %s", std::int32_t{3010}, "code 3010"},
        FormatCase{"name %d", std::u16string_view(kName), "name Corvane Studio"},
        // No argument: every conversion stays.
        FormatCase{"%d%s", std::monostate{}, "%d%s"},
        FormatCase{"100%% sure: %s", std::u16string_view(kName), "100% sure: Corvane Studio"},
        FormatCase{"%%d", std::int32_t{7}, "%d"},
        FormatCase{"%x %5d %ls %s", std::u16string_view(kName), "%x %5d %ls Corvane Studio"},
        FormatCase{"ends with %", std::u16string_view(kName), "ends with %"},
        FormatCase{"%", std::monostate{}, "%"}, FormatCase{"", std::int32_t{1}, ""},
        FormatCase{"line\n\n Error Code: %d", std::int32_t{1}, "line\n\n Error Code: 1"}));

TEST(FormatMessageText, KeepsLongArgumentsWhole) {
  // A product name of up to 1,023 characters would overflow a fixed buffer.
  const std::u16string name(1023, u'N');
  const std::u16string text =
      u"The service pack was installed and %s has been updated." + std::u16string(255 - 56, u'.');
  const std::u16string shown = FormatMessageText(text, std::u16string_view(name));

  EXPECT_EQ(shown.size(), text.size() - 2 + name.size());
  EXPECT_NE(shown.find(name), std::u16string::npos);
}

}  // namespace
}  // namespace sp
