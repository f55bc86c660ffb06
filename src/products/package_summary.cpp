#include "products/package_summary.h"

namespace sp {
namespace {

// MAX_PATH: the buffer, in characters with the null, that the package's full
// path is resolved in before its summary information is opened.
constexpr std::uint32_t kMaxPath = 260;
constexpr std::uint32_t kFirstReadCapacity = 2048;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;

}  // namespace

Expected<SummaryHandle> OpenPackageSummary(Platform& os, const std::u16string& path) {
  const FullPathResult full = os.GetFullPathNameW(path, kMaxPath);
  // A path that cannot be resolved, or not within the buffer, opens nothing.
  if (full.result == 0) {
    return Failure(full.error);
  }
  if (full.result >= kMaxPath) {
    return Failure(kErrorFilenameExcedRange);
  }
  const SummaryOpenResult opened = os.MsiGetSummaryInformationW(full.path, 0);
  if (opened.status != win::kErrorSuccess) {
    return Failure(opened.status);
  }
  return SummaryHandle(os, opened.handle);
}

Status ReadTargetProductCodes(Platform& os, const std::u16string& packagePath,
                              std::u16string& codes) {
  auto summary = OpenPackageSummary(os, packagePath);
  if (!summary.ok()) {
    return summary.failure();
  }
  InstallerText read =
      os.MsiSummaryInfoGetPropertyW(summary->get(), kTargetProductsProperty, kFirstReadCapacity);
  if (read.status == win::kErrorMoreData) {
    read = os.MsiSummaryInfoGetPropertyW(summary->get(), kTargetProductsProperty, read.length + 1);
  }
  // Closed before the read's status is looked at; a close that fails loses nothing read.
  static_cast<void>(summary->Close());
  if (read.status != win::kErrorSuccess) {
    return Failure(read.status);
  }
  codes = read.text;
  return Status();
}

}  // namespace sp
