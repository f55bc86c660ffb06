#include "messages/show_message.h"

#include <gtest/gtest.h>

#include "machine.h"

namespace sp {
namespace {

using test::RecordingPlatform;

class ShowMessageTest : public testing::Test {
 protected:
  ShowMessageTest() {
    test::AddEnglishCatalogue(os);
    os.model.AddCatalogue(1033,
                          {{301, u"Installed; %s has been updated."}, {302, u"Close these: %s"}});
    os.model.lastError = 1603;
  }

  void Show(MessageId id) {
    ShowMessage(MessageContext{os, os.model.module, quiet, log}, id, productName);
  }

  RecordingPlatform os;
  RunLog log;
  bool quiet = false;
  std::u16string productName = u"Corvane Studio";
};

struct MessageCase {
  std::uint32_t id;
  const char* text;
  const char* caption;
  std::uint32_t style;
};

class ShowMessageTableTest : public ShowMessageTest,
                             public testing::WithParamInterface<MessageCase> {};

TEST_P(ShowMessageTableTest, ShowsTextCaptionAndStyle) {
  const MessageCase& c = GetParam();
  Show(MessageId(c.id));

  ASSERT_EQ(os.log.Boxes().size(), 1u);
  EXPECT_EQ(os.log.Boxes()[0].text, c.text);
  EXPECT_EQ(os.log.Boxes()[0].caption, c.caption);
  EXPECT_EQ(os.log.Boxes()[0].style, c.style);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ShowMessageTableTest,
    testing::Values(
        MessageCase{300, "Failed.\n\n Error Code: 1603", "Installation Error", 0x50010},
        MessageCase{301, "Installed; Corvane Studio has been updated.", "Installation Successful",
                    0x50040},
        MessageCase{306, "Corvane Studio is up-to-date", "Installation Unnecessary", 0x50010},
        MessageCase{307, "No Corvane product.\nCheck.", "Installation Error", 0x50010},
        MessageCase{308, "Not for this version of Corvane Studio.", "Installation Error", 0x50010},
        MessageCase{309, "Bad command line.", "Installation Error", 0x50010},
        MessageCase{310, "Supply a patch list.", "Installation Error", 0x50010},
        MessageCase{315, "Merge, do not append.", "Deployment Warning", 0x50040},
        // Outside the table: no argument, the "Error" caption, the plain style.
        MessageCase{302, "Close these: %s", "Error", 0x50000},
        MessageCase{999, "", "Error", 0x50000}));

TEST_F(ShowMessageTest, ReadsTheLastErrorBeforeAnythingElse) {
  Show(MessageId::kInstallFailed);

  const std::vector<std::string> names = os.log.Names();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "GetLastError");
  EXPECT_EQ(os.log.Count("GetLastError"), 1u);
  // The text's block, then the caption's, then the box.
  EXPECT_EQ(os.log.ArgsOf("FindResourceExW"),
            (std::vector<std::vector<std::string>>{{"module", "#6", "#19", "1033"},
                                                   {"module", "#6", "#20", "1033"}}));
  EXPECT_EQ(names.back(), "MessageBoxW");
  EXPECT_EQ(os.log.Count("SetLastError"), 0u);
}

TEST_F(ShowMessageTest, QuietShowsNothingAndLeavesTheLastError) {
  quiet = true;
  for (std::uint32_t id : {300u, 301u, 306u, 307u, 308u, 309u, 310u, 315u}) {
    Show(MessageId(id));
  }
  EXPECT_TRUE(os.log.all().empty());
  EXPECT_EQ(os.model.lastError, 1603u);
}

TEST_F(ShowMessageTest, EmptyProductNameLeavesTheGap) {
  productName.clear();
  Show(MessageId::kInstallSucceeded);
  EXPECT_EQ(os.log.Boxes().at(0).text, "Installed;  has been updated.");
}

TEST_F(ShowMessageTest, LongTextIsCutTo255Characters) {
  os.model.AddCatalogue(1033, {{309, std::u16string(200, u'a') + std::u16string(100, u'b')}});
  Show(MessageId::kIncorrectCommandLine);
  EXPECT_EQ(os.log.Boxes().at(0).text, std::string(200, 'a') + std::string(55, 'b'));
}

TEST_F(ShowMessageTest, LongProductNameIsShownWhole) {
  productName = std::u16string(1023, u'n');
  Show(MessageId::kUnsupportedVersion);
  EXPECT_EQ(os.log.Boxes().at(0).text, "Not for this version of " + std::string(1023, 'n') + ".");
}

TEST_F(ShowMessageTest, SpeaksTheThreadsLanguage) {
  os.model.AddCatalogue(1031,
                        {{301, u"%s wurde aktualisiert."}, {312, u"Installation erfolgreich"}});
  os.model.threadLocale = 1031;
  Show(MessageId::kInstallSucceeded);
  EXPECT_EQ(os.log.Boxes().at(0).text, "Corvane Studio wurde aktualisiert.");
  EXPECT_EQ(os.log.Boxes().at(0).caption, "Installation erfolgreich");
}

TEST_F(ShowMessageTest, MissingCaptionGivesAnEmptyCaption) {
  os.model.strings[1033].erase(311);
  Show(MessageId::kNoTargetProduct);
  EXPECT_EQ(os.log.Boxes().at(0).caption, "");
}

}  // namespace
}  // namespace sp
