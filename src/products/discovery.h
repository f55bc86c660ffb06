// Which of the products a patch targets are on this machine, and what they are.
#pragma once

#include <string>

#include "messages/run_log.h"
#include "platform/platform.h"
#include "platform/status.h"
#include "products/product_record.h"

namespace sp {

// Present means installed (5) or advertised (1) as Windows Installer sees it.
bool IsProductPresent(Platform& os, const std::u16string& productCode);
// The text of a product attribute ("VersionString", "ProductName", ...) read
// whole through a buffer of 1024 characters; the status that kept it when it is
// refused or longer than the buffer, so that no cut or stale text passes for it.
Expected<std::u16string> ReadProductAttribute(Platform& os, const std::u16string& productCode,
                                              const std::u16string& attribute);

// Reads the version texts 700 and 900 from `module` and the package's target
// codes, and appends a record to `products` for each present product, in the
// order of the codes. A failure leaves `products` untouched. An attribute that
// cannot be read is empty in the record. The run log gets the codes as read,
// whether each product is present, and each attribute that could not be read.
Status DiscoverTargetProducts(Platform& os, ModuleHandle module, const std::u16string& packagePath,
                              TargetProductList& products, RunLog& log);

}  // namespace sp
