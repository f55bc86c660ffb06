#include "products/package_version.h"

#include <gtest/gtest.h>

#include "recording_platform.h"

namespace sp {
namespace {

struct VersionCase {
  const char* text;
  PackageVersion expected;
};

class ParseVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(ParseVersionTest, ReadsTheFields) {
  const std::u16string text = test::Utf16(GetParam().text);
  const std::u16string before = text;
  const PackageVersion v = ParseVersion(text);
  const PackageVersion& e = GetParam().expected;
  EXPECT_EQ((std::array{v.major, v.minor, v.build, v.revision}),
            (std::array{e.major, e.minor, e.build, e.revision}));
  EXPECT_EQ(text, before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseVersionTest,
    testing::Values(VersionCase{"9.1.030.4", {9, 1, 30, 4}}, VersionCase{"9,1,30,4", {9, 1, 30, 4}},
                    VersionCase{"9.1.30", {9, 1, 30, 0}}, VersionCase{"9.1", {9, 0, 0, 0}},
                    VersionCase{"9", {0, 0, 0, 0}}, VersionCase{"", {0, 0, 0, 0}},
                    VersionCase{"1.2.3.4,", {1, 2, 3, 4}}, VersionCase{"1.2.3,", {1, 2, 3, 0}},
                    VersionCase{"1.2,", {1, 2, 0, 0}}, VersionCase{"1.2.3.", {1, 2, 3, 0}},
                    VersionCase{"1.2.3.4.5", {1, 2, 3, 4}}, VersionCase{"1..3.4", {1, 0, 3, 4}},
                    VersionCase{".2.3.4", {0, 2, 3, 4}}, VersionCase{"x1.2.3.4", {0, 2, 3, 4}},
                    VersionCase{"a.b.c.d", {0, 0, 0, 0}}, VersionCase{" 1. 2. 3. 4", {1, 2, 3, 4}},
                    VersionCase{"\t1.\n2.\r3.\v4", {1, 2, 3, 4}},
                    VersionCase{"1.2.3.4x", {1, 2, 3, 4}},
                    VersionCase{"+1.-1.2.3", {1, 65535, 2, 3}},
                    VersionCase{"65536.65535.1.2", {0, 65535, 1, 2}},
                    VersionCase{"99999999999.1.2.3", {65535, 1, 2, 3}},
                    VersionCase{"-99999999999.1.2.3", {0, 1, 2, 3}},
                    VersionCase{"2147483647.2147483648.65537.-65536", {65535, 65535, 1, 0}},
                    VersionCase{"--1.+-1.1 2.3", {0, 0, 1, 3}}));

TEST(SameVersion, ComparesAllFourFieldsExactly) {
  const auto same = [](const char* a, const char* b) {
    return SameVersion(ParseVersion(test::Utf16(a)), ParseVersion(test::Utf16(b)));
  };
  EXPECT_TRUE(same("9.1.030.4", "9.1.30.4"));
  EXPECT_TRUE(same("1.2.3", "1.2.3.0"));
  EXPECT_TRUE(same("9.1", "9.0"));
  EXPECT_FALSE(same("1.2.3.4", "1.2.3.5"));
  EXPECT_FALSE(same("1.2.3.4", "2.2.3.4"));
  EXPECT_FALSE(same("1.2.3.4", "1.3.3.4"));
  EXPECT_FALSE(same("1.2.3.4", "1.2.4.4"));
  EXPECT_TRUE(same("9.1.31.0", "9.1.031.0"));
}

TEST(ParseDecimal, ReadsLikeTheRuntimesConversion) {
  const std::pair<const char*, std::int32_t> cases[] = {{"1033", 1033},
                                                        {"  1031", 1031},
                                                        {"+7x", 7},
                                                        {"-12", -12},
                                                        {"", 0},
                                                        {"x1", 0},
                                                        {"- 1", 0},
                                                        {"2147483648", 2147483647},
                                                        {"-2147483649", -2147483647 - 1},
                                                        {"0001036", 1036}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseDecimal(test::Utf16(text)), expected) << text;
  }
}

}  // namespace
}  // namespace sp
