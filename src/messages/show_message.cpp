#include "messages/show_message.h"

#include "messages/catalogue.h"
#include "messages/format.h"

namespace sp {
namespace {

constexpr std::uint32_t kStylePlain = win::kMbTopmostSetForeground;
constexpr std::uint32_t kStyleError = kStylePlain | win::kMbIconError;
constexpr std::uint32_t kStyleInformation = kStylePlain | win::kMbIconInformation;

enum class Argument { kNone, kLastError, kProductName };

struct MessageStyle {
  MessageId id;
  Argument argument;
  MessageId caption;
  std::uint32_t style;
};

constexpr MessageStyle kMessages[] = {
    {MessageId::kInstallFailed, Argument::kLastError, MessageId::kCaptionError, kStyleError},
    {MessageId::kInstallSucceeded, Argument::kProductName, MessageId::kCaptionSuccess,
     kStyleInformation},
    {MessageId::kUpToDate, Argument::kProductName, MessageId::kCaptionUnnecessary, kStyleError},
    {MessageId::kNoTargetProduct, Argument::kNone, MessageId::kCaptionError, kStyleError},
    {MessageId::kUnsupportedVersion, Argument::kProductName, MessageId::kCaptionError, kStyleError},
    {MessageId::kIncorrectCommandLine, Argument::kNone, MessageId::kCaptionError, kStyleError},
    {MessageId::kPatchListRequired, Argument::kNone, MessageId::kCaptionError, kStyleError},
    {MessageId::kDeploymentWarning, Argument::kNone, MessageId::kCaptionDeployment,
     kStyleInformation},
};

const MessageStyle* FindStyle(MessageId id) {
  for (const auto& entry : kMessages) {
    if (entry.id == id) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

MessageContext InUserLanguage(MessageContext messages) {
  messages.language = TextLanguage::kUserInterface;
  return messages;
}

void ShowMessage(const MessageContext& messages, MessageId id, std::u16string_view productName) {
  const std::u16string logged = u"box " + DecimalText(static_cast<std::uint32_t>(id));
  if (messages.quiet) {
    messages.log.Write(logged + u" suppressed");
    return;
  }
  Platform& os = messages.os;
  // Read first, so that the code shown is the one the failing step left.
  const std::uint32_t lastError = os.GetLastError();

  std::u16string caption = u"Error";
  std::u16string text;
  // A text or caption the catalogue lacks is shown empty.
  LoadCatalogString(os, messages.module, id, text, kCatalogueCapacity, messages.language);

  const MessageStyle* entry = FindStyle(id);
  MessageArgument argument;
  if (entry != nullptr && entry->argument == Argument::kLastError) {
    argument = static_cast<std::int32_t>(lastError);
  } else if (entry != nullptr && entry->argument == Argument::kProductName) {
    argument = productName;
  }
  const std::u16string shown = FormatMessageText(text, argument);

  std::uint32_t style = kStylePlain;
  if (entry != nullptr) {
    LoadCatalogString(os, messages.module, entry->caption, caption, kCatalogueCapacity,
                      messages.language);
    style = entry->style;
  }
  messages.log.Write(logged + u" shown");
  // Every box has one button: which closed it says nothing.
  static_cast<void>(os.MessageBoxW(shown, caption, style));
}

void ShowHelp(const MessageContext& messages) {
  Platform& os = messages.os;
  const ModuleHandle module = messages.module;
  std::u16string text;
  for (auto id = static_cast<std::uint32_t>(MessageId::kHelpFirst);
       id <= static_cast<std::uint32_t>(MessageId::kHelpLast); ++id) {
    std::u16string entry;
    LoadCatalogString(os, module, MessageId(id), entry, kCatalogueCapacity, messages.language);
    if (entry.empty()) {
      continue;
    }
    if (!text.empty()) {
      text += u'\n';
    }
    text += entry;
  }
  // One caption in every language, as the "List of Products" box has.
  messages.log.Write(u"box help shown");
  static_cast<void>(os.MessageBoxW(text, u"Service Pack", kStyleInformation));
}

void ShowFailure(const MessageContext& messages, Failure failure) {
  messages.os.SetLastError(failure.code());
  ShowMessage(messages, MessageId::kInstallFailed);
}

}  // namespace sp
