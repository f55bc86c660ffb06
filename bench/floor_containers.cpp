// The size floor of a service pack: a static program that uses the standard
// containers the service pack uses, and nothing of its logic.
#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  std::vector<std::unique_ptr<std::u16string>> texts;
  texts.push_back(std::make_unique<std::u16string>(reinterpret_cast<char16_t*>(commandLine)));
  std::optional<std::u16string> copy = *texts.front();
  std::variant<std::monostate, int, std::u16string_view> value = std::u16string_view(*copy);
  std::span<const char16_t> units(*copy);
  copy->append(u"!");
  return static_cast<int>(units.size() + std::to_string(texts.size()).size() +
                          (std::holds_alternative<int>(value) ? 1 : 0));
}
