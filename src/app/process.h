// The objects that live for the whole process: created by the entry point and
// handed to every operation that reads or changes them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "products/product_record.h"

namespace sp {

struct RunOptions {
  bool install = true;
  bool quiet = false;
  bool extract = false;
  std::u16string extractionPath;
  bool patchList = false;
  std::u16string patchListPath;
  bool list = false;
};

// State of the temporary-name generator, guarded by the platform's name lock.
struct TemporaryNameState {
  std::uint32_t counter = 1;
  std::size_t previousPrefixLength = 0;
};

struct Process {
  explicit Process(Platform& platform) : os(platform) {}

  Platform& os;
  ModuleHandle module{};  // every resource and string-table look-up goes here
  RunOptions options;
  std::u16string currentProductName;
  TemporaryNameState temporaryNames;
  TargetProductList targetProducts;
};

// The code a failed step reports: the thread's last error, or 1603 (a fatal
// error during installation) when the step left none.
inline std::uint32_t FailureCode(Platform& os) {
  const std::uint32_t error = os.GetLastError();
  return error != win::kErrorSuccess ? error : win::kErrorInstallFailure;
}

}  // namespace sp
