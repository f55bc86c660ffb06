// Writing the embedded patch package to a file.
#pragma once

#include <string>

#include "app/process.h"

namespace sp {

inline constexpr char16_t kPackageResource[] = u"IDR_MSP_TB";

// Writes the "MSP" resource `resourceName` to `packagePath`, or, when that is
// empty, to a new temporary file whose name it stores there. True only when the
// file holds every byte. On false the thread's last error is the failing step's
// code, and no partial file is left: a new temporary file is removed, and a
// caller's file is replaced only once the whole package is on disk beside it.
bool ExtractPatchPackage(Process& process, std::u16string& packagePath,
                         const std::u16string& resourceName);

}  // namespace sp
