// Reading the list of target products from a patch package's summary information.
#pragma once

#include <cstdint>
#include <string>

#include "platform/owned.h"
#include "platform/status.h"

namespace sp {

inline constexpr std::uint32_t kTargetProductsProperty = 7;

// Opens the summary information of the package at the full path of `path`.
Expected<SummaryHandle> OpenPackageSummary(Platform& os, const std::u16string& path);

// Reads summary property 7 (the target product codes, separated by ";") exactly
// as stored into `codes`. On failure `codes` is unchanged.
Status ReadTargetProductCodes(Platform& os, const std::u16string& packagePath,
                              std::u16string& codes);

}  // namespace sp
