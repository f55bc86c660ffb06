#include "messages/catalogue.h"

#include <algorithm>
#include <cstring>

#include "messages/format.h"
#include "platform/resource.h"

namespace sp {
namespace {

constexpr char16_t kStringTable[] = u"#6";  // RT_STRING
constexpr std::uint16_t kPrimaryChinese = 0x04;
constexpr std::uint16_t kSublangDefault = 0x01;
constexpr std::uint16_t kChineseTraditional = 0x0404;
constexpr std::uint16_t kChineseSimplified = 0x0804;

std::uint16_t LanguageOf(std::uint32_t locale) {
  return static_cast<std::uint16_t>(locale);
}

// Traditional script for Taiwan, Hong Kong, Macao and the neutral zh-Hant.
bool UsesTraditionalChinese(std::uint16_t language) {
  switch (language) {
    case 0x0404:
    case 0x0C04:
    case 0x1404:
    case 0x7C04:
      return true;
    default:
      return false;
  }
}

std::uint16_t PrimaryFallback(std::uint16_t language) {
  const std::uint16_t primary = language & 0x3FF;
  if (primary == kPrimaryChinese) {
    return UsesTraditionalChinese(language) ? kChineseTraditional : kChineseSimplified;
  }
  return static_cast<std::uint16_t>(primary | (kSublangDefault << 10));
}

std::uint16_t ReadUnit(std::span<const std::byte> block, std::size_t index) {
  std::uint16_t unit = 0;
  std::memcpy(&unit, block.data() + index * 2, 2);
  return unit;
}

}  // namespace

std::array<std::uint16_t, 3> CatalogueLanguages(Platform& os, TextLanguage whose) {
  std::uint32_t locale =
      whose == TextLanguage::kUserInterface ? os.GetUserDefaultUILanguage() : os.GetThreadLocale();
  if (locale == 0 || locale == win::kLocaleUserDefault) {
    locale = os.GetUserDefaultLCID();
  }
  std::array<std::uint16_t, 3> languages{};
  std::size_t count = 0;
  for (std::uint16_t language :
       {LanguageOf(locale), PrimaryFallback(LanguageOf(locale)), kEnglishUnitedStates}) {
    if (language != 0 &&
        std::find(languages.begin(), languages.end(), language) == languages.end()) {
      languages[count++] = language;
    }
  }
  return languages;
}

std::uint32_t LoadCatalogString(Platform& os, ModuleHandle module, MessageId id,
                                std::u16string& output, std::uint32_t capacity,
                                TextLanguage language) {
  output.clear();
  const auto number = static_cast<std::uint32_t>(id);
  const auto blockId = static_cast<std::uint16_t>(number / 16 + 1);
  for (std::uint16_t tried : CatalogueLanguages(os, language)) {
    if (tried == 0) {
      break;
    }
    const RawResource found =
        FindRawResource(os, module, u"#" + DecimalText(blockId), kStringTable, tried);
    if (found.state != RawResource::State::kFound) {
      continue;
    }
    const std::span<const std::byte> block = found.bytes;
    // A block is sixteen counted strings: a length unit, then that many units.
    const std::size_t units = block.size() / 2;
    std::size_t at = 0;
    for (std::uint32_t entry = 0; entry < number % 16 && at < units; ++entry) {
      at += 1 + ReadUnit(block, at);
    }
    if (at >= units || capacity == 0) {
      return 0;
    }
    const std::size_t length = std::min<std::size_t>(ReadUnit(block, at), units - at - 1);
    const std::size_t copied = std::min<std::size_t>(length, capacity - 1);
    std::u16string text(copied, u'\0');
    std::memcpy(text.data(), block.data() + (at + 1) * 2, copied * 2);
    output = text.substr(0, text.find(u'\0'));
    return static_cast<std::uint32_t>(copied);
  }
  return 0;
}

}  // namespace sp
