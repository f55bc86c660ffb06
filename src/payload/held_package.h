// The install run's package, held from the check of its bytes until the last
// reconfiguration: Windows Installer runs a patch's actions with the system's
// rights, so the file it is handed must stay the one the program carries.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "payload/extract.h"
#include "platform/checked_file.h"
#include "platform/status.h"

namespace sp {

class HeldPackage {
 public:
  // Opens the written package again read-only, sharing only reading (nobody may
  // write, rename or delete it while it is held), checks it on that handle (the
  // folder's own plain file, and the very file that was written), and compares
  // its bytes with the package. A reopen or read that fails reports its code; a
  // file that is not the one written, or holds other bytes, 1603.
  static Expected<HeldPackage> Hold(Platform& os, const std::u16string& path,
                                    const WrittenPackage& written);

  HeldPackage(HeldPackage&&) noexcept = default;
  HeldPackage& operator=(HeldPackage&&) = delete;
  ~HeldPackage() = default;  // lets go of the package and leaves it on disk

  // Where the held file is, as the handle says: what Windows Installer is handed.
  const std::u16string& finalPath() const { return file_.finalPath(); }

  // The run is complete: lets go of the package, then deletes it; the failure
  // of the deletion, if it fails.
  Status Delete();

 private:
  HeldPackage(Platform& os, std::u16string path, CheckedFile file);

  Platform* os_;
  std::u16string path_;
  CheckedFile file_;
};

}  // namespace sp
