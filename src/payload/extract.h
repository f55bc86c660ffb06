// Writing the embedded patch package to a file.
#pragma once

#include <string>

#include "payload/temporary_name.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

inline constexpr char16_t kPackageResource[] = u"IDR_MSP_TB";

// Writes the "MSP" resource `resourceName` of `module` to `packagePath`, or,
// when that is empty, to a new temporary file whose name it stores there. Succeeds
// only when the file holds every byte. No partial file is left: a new temporary
// file is removed, and a caller's file is replaced only once the whole package
// is on disk beside it.
Status ExtractPatchPackage(Platform& os, ModuleHandle module, TemporaryNameGenerator& names,
                           std::u16string& packagePath, const std::u16string& resourceName);

}  // namespace sp
