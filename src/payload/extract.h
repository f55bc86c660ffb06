// Writing the embedded patch package to a file.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "payload/temporary_name.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

inline constexpr char16_t kPackageResource[] = u"IDR_MSP_TB";

// Writes the "MSP" resource `resourceName` of `module` to `packagePath`, or,
// when that is empty, to a new temporary file whose name it stores there. Succeeds
// only when every byte is on disk (written, flushed and closed), with the bytes
// written, which live as long as the process. No partial file is left: a new
// temporary file is removed, and a caller's file is replaced only once the whole
// package is on disk beside it.
Expected<std::span<const std::byte>> ExtractPatchPackage(Platform& os, ModuleHandle module,
                                                         TemporaryNameGenerator& names,
                                                         std::u16string& packagePath,
                                                         const std::u16string& resourceName);

}  // namespace sp
