#include "app/service_pack_main.h"

#include "app/command_line.h"
#include "install/apply.h"
#include "payload/extract.h"
#include "payload/patch_list.h"
#include "products/package_summary.h"

namespace sp {
namespace {

constexpr std::uint32_t kListBoxStyle = 0x50000;  // MB_TOPMOST | MB_SETFOREGROUND

// "/e": the package at the given path, or at a new temporary name. Shows nothing.
std::uint32_t RunExtractMode(Process& process) {
  return ExtractPatchPackage(process, process.options.extractionPath, kPackageResource)
             ? 0
             : FailureCode(process.os);
}

// "/i": the target product codes in one box, also in quiet mode. The box shows
// an empty text when they cannot be read.
std::uint32_t RunListMode(Process& process) {
  std::uint32_t exitCode = 0;
  std::u16string packagePath;
  if (!ExtractPatchPackage(process, packagePath, kPackageResource)) {
    exitCode = FailureCode(process.os);
  }
  std::u16string codes;
  if (!ReadTargetProductCodes(process, packagePath, codes) && exitCode == 0) {
    exitCode = FailureCode(process.os);
  }
  process.os.MessageBoxW(codes, u"List of Products", kListBoxStyle);
  return exitCode;
}

}  // namespace

std::uint32_t ServicePackMain(Process& process, ModuleHandle instance) {
  process.module = instance;
  if (!ParseCommandLine(process)) {
    return 0;
  }
  // With several modes, the first that fails decides the exit code.
  std::uint32_t exitCode = 0;
  const auto keepFirstFailure = [&exitCode](std::uint32_t code) {
    if (exitCode == 0) {
      exitCode = code;
    }
  };
  const RunOptions& options = process.options;
  if (options.install) {
    exitCode = ApplyPatchToProducts(process).exitCode;
  } else {
    if (options.extract) {
      keepFirstFailure(RunExtractMode(process));
    }
    if (options.patchList) {
      keepFirstFailure(WritePatchList(process, process.options.patchListPath));
    }
    if (options.list) {
      keepFirstFailure(RunListMode(process));
    }
  }
  process.targetProducts.clear();
  return exitCode;
}

}  // namespace sp
