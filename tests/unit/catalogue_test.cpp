#include "messages/catalogue.h"

#include <gtest/gtest.h>

#include "recording_platform.h"

namespace sp {
namespace {

using test::RecordingPlatform;
using test::Utf8;

// One catalogue of the fourteen languages, each saying its own name in 301.
constexpr std::uint16_t kCatalogueLanguages[] = {1028, 1029, 1031, 1033, 1034, 1036, 1038,
                                                 1040, 1041, 1042, 1045, 1046, 1049, 2052};

void AddCatalogue(RecordingPlatform& os) {
  for (std::uint16_t language : kCatalogueLanguages) {
    os.model.AddCatalogue(language, {{301, test::Utf16("text " + std::to_string(language))}});
  }
  os.model.AddCatalogue(1033, {{700, u"9.1.031.0"}, {900, u"9.1.030.0,"}});
}

struct LanguageCase {
  std::uint32_t threadLocale;
  std::uint32_t userDefault;
  const char* expected;
};

class CatalogueLanguageTest : public testing::TestWithParam<LanguageCase> {};

TEST_P(CatalogueLanguageTest, PicksTheThreadsLanguageOrItsFallback) {
  RecordingPlatform os;
  AddCatalogue(os);
  os.model.threadLocale = GetParam().threadLocale;
  os.model.userDefaultLocale = GetParam().userDefault;

  std::u16string text;
  LoadCatalogString(os, os.model.module, MessageId::kInstallSucceeded, text, kCatalogueCapacity);

  EXPECT_EQ(Utf8(text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, CatalogueLanguageTest,
    testing::Values(LanguageCase{1031, 1033, "text 1031"},     // German
                    LanguageCase{0x10407, 1033, "text 1031"},  // German, phone-book sort
                    LanguageCase{1043, 1031, "text 1033"},     // Dutch: not in the catalogue
                    LanguageCase{3082, 1033, "text 1034"},     // Spanish, modern sort
                    LanguageCase{2058, 1033, "text 1034"},     // Spanish (Mexico)
                    LanguageCase{2070, 1033, "text 1046"},     // Portuguese (Portugal)
                    LanguageCase{2057, 1031, "text 1033"},     // English (United Kingdom)
                    LanguageCase{0x0C04, 1033, "text 1028"},   // Chinese (Hong Kong)
                    LanguageCase{0x1404, 1033, "text 1028"},   // Chinese (Macao)
                    LanguageCase{0x1004, 1033, "text 2052"},   // Chinese (Singapore)
                    LanguageCase{0x0804, 1033, "text 2052"},   // Chinese (PRC)
                    LanguageCase{0, 1036, "text 1036"},        // neutral: the user's default
                    LanguageCase{0x400, 1049, "text 1049"},    // the user's default
                    LanguageCase{0x400, 1043, "text 1033"}));

TEST(LoadCatalogString, VersionTextsComeFromEnglishWhateverTheLocale) {
  RecordingPlatform os;
  AddCatalogue(os);
  os.model.threadLocale = 1031;

  std::u16string text;
  EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId::kUpgradeVersion, text, 256), 9u);

  EXPECT_EQ(Utf8(text), "9.1.031.0");
  // German has no block 44; the English one is found, loaded and locked.
  EXPECT_EQ(os.log.Of({"GetThreadLocale", "FindResourceExW", "SizeofResource", "LoadResource",
                       "LockResource"}),
            (std::vector<test::Call>{
                {"GetThreadLocale", {}},
                {"FindResourceExW", {"module", "#6", "#44", "1031"}},
                {"FindResourceExW", {"module", "#6", "#44", "1033"}},
                {"SizeofResource", {"module", "resource #6 #44"}},
                {"LoadResource", {"module", "resource #6 #44"}},
                {"LockResource", {"resource #6 #44"}},
            }));
}

TEST(LoadCatalogString, CopiesAsABufferOfTheCapacityWould) {
  struct Case {
    std::u16string stored;
    std::uint32_t capacity;
    std::uint32_t expectedCount;
    std::u16string expectedText;
  };
  const std::u16string longText(300, u'x');
  const Case cases[] = {
      {u"Installation Error", 256, 18, u"Installation Error"},
      {longText, 256, 255, longText.substr(0, 255)},
      {std::u16string(255, u'y'), 256, 255, std::u16string(255, u'y')},
      {u"abc", 3, 2, u"ab"},
      {u"abc", 1, 0, u""},
      {std::u16string(u"ab\0cd", 5), 256, 5, u"ab"},
  };
  for (const Case& c : cases) {
    RecordingPlatform os;
    os.model.AddCatalogue(1033, {{311, c.stored}});
    std::u16string text = u"previous";
    EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId::kCaptionError, text, c.capacity),
              c.expectedCount);
    EXPECT_EQ(text, c.expectedText);
  }
}

TEST(LoadCatalogString, MissingEntryEmptiesTheOutput) {
  RecordingPlatform os;
  os.model.AddCatalogue(1033, {{300, u"x"}});
  std::u16string text = u"previous";

  // 303 shares the block of 300 but is empty; 1000 has no block at all.
  EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId(303), text, 256), 0u);
  EXPECT_TRUE(text.empty());
  text = u"previous";
  EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId(1000), text, 256), 0u);
  EXPECT_TRUE(text.empty());
}

TEST(LoadCatalogString, TruncatedBlockGivesNothing) {
  // A block cut short by a damaged resource must not be read past its end.
  RecordingPlatform os;
  os.model.AddResource(u"#6", u"#19", std::string_view("\0\0\x28\0a\0", 6));
  std::u16string text;

  EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId(289), text, 256), 1u);
  EXPECT_EQ(Utf8(text), "a");
  EXPECT_EQ(LoadCatalogString(os, os.model.module, MessageId(290), text, 256), 0u);
}

}  // namespace
}  // namespace sp
