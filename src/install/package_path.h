// The package path handed to Windows Installer.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

// The full path of the package (a relative one would be read from wherever the
// installer runs), in a form that cannot change the meaning of the PATCH
// property: that is a ";"-separated list of packages in double quotes, so a
// path holding ";" or a double quote takes its short form, and where that still
// holds one (short names are per volume and often turned off) the path is
// refused with 123, ERROR_INVALID_NAME.
Expected<std::u16string> InstallerPackagePath(Platform& os, const std::u16string& path);

}  // namespace sp
