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
std::u16string ReadInstalledVersion(Platform& os, const std::u16string& productCode);
// Fills the product's "ProductName" and "Language"; always true.
bool ReadProductIdentity(Platform& os, const std::u16string& productCode, std::u16string& name,
                         std::u16string& language);

// Reads the version texts 700 and 900 from `module` and the package's target
// codes, and appends a record to `products` for each present product, in the
// order of the codes. A failure leaves `products` untouched. The run log gets the
// codes as read and whether each product is present.
Status DiscoverTargetProducts(Platform& os, ModuleHandle module, const std::u16string& packagePath,
                              TargetProductList& products, RunLog& log);

}  // namespace sp
