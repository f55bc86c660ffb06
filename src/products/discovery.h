// Which of the products a patch targets are on this machine, and what they are.
#pragma once

#include <string>

#include "app/process.h"

namespace sp {

// Present means installed (5) or advertised (1) as Windows Installer sees it.
bool IsProductPresent(Process& process, const std::u16string& productCode);
std::u16string ReadInstalledVersion(Process& process, const std::u16string& productCode);
// Fills the product's "ProductName" and "Language"; always true.
bool ReadProductIdentity(Process& process, const std::u16string& productCode, std::u16string& name,
                         std::u16string& language);

// Reads the version texts 700 and 900 and the package's target codes, and
// appends a record to process.targetProducts for each present product, in the
// order of the codes. On failure shows message 300 and returns false with the
// failing step's code as the thread's last error.
bool DiscoverTargetProducts(Process& process, const std::u16string& packagePath);

}  // namespace sp
