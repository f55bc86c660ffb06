// Writing the embedded patch package to a file.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "payload/temporary_name.h"
#include "platform/checked_file.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

inline constexpr char16_t kPackageResource[] = u"IDR_MSP_TB";

struct WrittenPackage {
  std::span<const std::byte> bytes;  // the resource, which lives as long as the process
  FileIdentity file;                 // the file they were written to
};

// Writes the "MSP" resource `resourceName` of `module` to `packagePath`, or,
// when that is empty, to a new temporary file whose name it stores there. Each file
// it writes is created new and checked on its handle before the first byte goes
// in; a name where a link stands is given up for the next one. Succeeds only when
// every byte is written and the file closed; a caller's file is also flushed to
// disk first. No partial file is left: a new temporary file is removed, and a
// caller's file is replaced only once the whole package is on disk beside it.
Expected<WrittenPackage> ExtractPatchPackage(Platform& os, ModuleHandle module,
                                             TemporaryNameGenerator& names,
                                             std::u16string& packagePath,
                                             const std::u16string& resourceName);

}  // namespace sp
