#include "products/package_summary.h"

namespace sp {
namespace {

constexpr std::uint32_t kFullPathCapacity = 260;
constexpr std::uint32_t kFirstReadCapacity = 2048;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;

}  // namespace

OpenedSummary OpenPackageSummary(Process& process, const std::u16string& path) {
  Platform& os = process.os;
  const FullPathResult full = os.GetFullPathNameW(path, kFullPathCapacity);
  // A path that cannot be resolved, or not within the buffer, opens nothing.
  if (full.result == 0 || full.result >= kFullPathCapacity) {
    return OpenedSummary{SummaryHandle(os, MsiHandle{}),
                         full.result == 0 ? FailureCode(os) : kErrorFilenameExcedRange};
  }
  const SummaryOpenResult opened = os.MsiGetSummaryInformationW(full.path, 0);
  return OpenedSummary{SummaryHandle(os, opened.status == 0 ? opened.handle : MsiHandle{}),
                       opened.status};
}

bool ReadTargetProductCodes(Process& process, const std::u16string& packagePath,
                            std::u16string& codes) {
  Platform& os = process.os;
  OpenedSummary summary = OpenPackageSummary(process, packagePath);
  if (!summary.handle) {
    os.SetLastError(summary.status);
    return false;
  }
  InstallerText read = os.MsiSummaryInfoGetPropertyW(summary.handle.get(), kTargetProductsProperty,
                                                     kFirstReadCapacity);
  if (read.status == win::kErrorMoreData) {
    read = os.MsiSummaryInfoGetPropertyW(summary.handle.get(), kTargetProductsProperty,
                                         read.length + 1);
  }
  summary.handle.Close();
  if (read.status != win::kErrorSuccess) {
    os.SetLastError(read.status);
    return false;
  }
  codes = read.text;
  return true;
}

}  // namespace sp
