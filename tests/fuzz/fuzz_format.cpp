// Any catalogue text and product name make a message that holds the whole name
// once at most and never reads past what it was given.
#include <cstdint>

#include "fuzz_text.h"
#include "machine.h"
#include "messages/format.h"
#include "messages/show_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::u16string text = sp::fuzz::Text(input, 600);
  const std::u16string name = sp::fuzz::Text(input, 2048);
  const auto number = input.ConsumeIntegral<std::int32_t>();

  for (const sp::MessageArgument& argument :
       {sp::MessageArgument{}, sp::MessageArgument{number}, sp::MessageArgument{name}}) {
    const std::u16string shown = sp::FormatMessageText(text, argument);
    if (shown.size() > text.size() + std::max<std::size_t>(name.size(), 11)) {
      __builtin_trap();
    }
  }

  sp::test::Machine m;
  m.os.model.strings[1033][301] = text;
  sp::ShowMessage(m.messages(), sp::MessageId::kInstallSucceeded, name);
  std::u16string loaded = text.substr(0, 255);
  loaded = loaded.substr(0, loaded.find(u'\0'));
  const std::string expected =
      sp::test::Utf8(sp::FormatMessageText(loaded, std::u16string_view(name)));
  if (m.os.log.Boxes().size() != 1 || m.os.log.Boxes()[0].text != expected) {
    __builtin_trap();
  }
  return 0;
}
