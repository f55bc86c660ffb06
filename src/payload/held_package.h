// The install run's package, held from the check of its bytes until the last
// reconfiguration: Windows Installer runs a patch's actions with the system's
// rights, so the file it is handed must stay the one the program carries.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/owned.h"
#include "platform/status.h"

namespace sp {

class HeldPackage {
 public:
  // Reopens the written package read-only, sharing only reading (nobody may
  // write, rename or delete it while it is held), and compares its bytes with
  // `expected`. A reopen or read that fails reports its code; other bytes, 1603.
  static Expected<HeldPackage> Hold(Platform& os, const std::u16string& path,
                                    std::span<const std::byte> expected);

  HeldPackage(HeldPackage&&) noexcept = default;
  HeldPackage& operator=(HeldPackage&&) = delete;
  ~HeldPackage() = default;  // lets go of the package and leaves it on disk

  // The run is complete: lets go of the package, then deletes it.
  void Delete();

 private:
  HeldPackage(Platform& os, std::u16string path, OwnedFile file);

  Platform* os_;
  std::u16string path_;
  OwnedFile file_;
};

}  // namespace sp
