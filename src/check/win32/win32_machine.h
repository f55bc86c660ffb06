// The test machine as Windows (or Wine) shows it to the release check.
#pragma once

#include <string>

#include "check/machine.h"

namespace sp::check {

class Win32Machine final : public Machine {
 public:
  bool UnderWine() override;
  Expected<ModuleHandle> LoadPackImage(const std::u16string& path) override;
  void FreePackImage(ModuleHandle image) override;
  Expected<ProductPackage> ReadProductPackage(const std::u16string& msiPath) override;
  std::uint32_t InstallProduct(const std::u16string& msiPath,
                               std::uint32_t timeoutSeconds) override;
  std::uint32_t RemoveProduct(const std::u16string& productCode,
                              std::uint32_t timeoutSeconds) override;
  std::uint32_t RemoveProductWithPackage(const std::u16string& msiPath,
                                         std::uint32_t timeoutSeconds) override;
  PackRun RunPack(const std::u16string& pack, const std::u16string& arguments, RunPlace place,
                  WindowObserver* observer, std::uint32_t timeoutSeconds) override;
};

// The two halves of RunPack: a process of the check's own (pack_process.cpp) and a
// task of the Task Scheduler (system_task.cpp).
PackRun RunPackProcess(const std::u16string& pack, const std::u16string& arguments, bool unseen,
                       WindowObserver* observer, std::uint32_t timeoutSeconds);
PackRun RunPackAsSystem(const std::u16string& pack, const std::u16string& arguments,
                        std::uint32_t timeoutSeconds);

// Text at the Win32 edge.
inline const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string U(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace sp::check
