// Reading the list of target products from a patch package's summary information.
#pragma once

#include <cstdint>
#include <string>

#include "app/process.h"
#include "platform/owned.h"

namespace sp {

inline constexpr std::uint32_t kTargetProductsProperty = 7;

struct OpenedSummary {
  SummaryHandle handle;
  std::uint32_t status;  // 0 when the handle is open
};

// Opens the summary information of the package at the full path of `path`.
OpenedSummary OpenPackageSummary(Process& process, const std::u16string& path);

// Reads summary property 7 (the target product codes, separated by ";") exactly
// as stored into `codes`. On false `codes` is unchanged and the thread's last
// error is the status of the failing call.
bool ReadTargetProductCodes(Process& process, const std::u16string& packagePath,
                            std::u16string& codes);

}  // namespace sp
