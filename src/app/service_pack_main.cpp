#include "app/service_pack_main.h"

#include "install/apply.h"
#include "payload/extract.h"
#include "payload/patch_list.h"
#include "products/package_summary.h"

namespace sp {
namespace {

// "/e": the package at the given path, or at a new temporary name. Shows nothing.
Status RunExtractMode(Process& process) {
  return ExtractPatchPackage(process.os, process.module, process.temporaryNames,
                             process.options.extractionPath, kPackageResource)
      .status();
}

// "/i": the target product codes in one box, also in quiet mode. The box shows
// an empty text when they cannot be read. The package it extracts stays.
Status RunListMode(Process& process) {
  std::u16string packagePath;
  const Status extracted = ExtractPatchPackage(process.os, process.module, process.temporaryNames,
                                               packagePath, kPackageResource)
                               .status();
  std::u16string codes;
  const Status read = ReadTargetProductCodes(process.os, packagePath, codes);
  process.os.MessageBoxW(codes, u"List of Products", win::kMbTopmostSetForeground);
  return extracted.ok() ? read : extracted;
}

}  // namespace

InstallOptions InstallOptionsFor(const RunOptions& options) {
  InstallOptions install;
  if (options.quiet) {
    install.installerInterface = InstallerInterface::kNone;
  } else if (options.passive) {
    install.installerInterface = InstallerInterface::kProgressOnly;
  }
  install.noRestart = options.noRestart;
  return install;
}

MessageContext MessagesFor(const Process& process) {
  return MessageContext{process.os, process.module,
                        process.options.quiet || process.options.passive};
}

std::uint32_t ServicePackMain(Process& process) {
  if (!ParseCommandLine(process.os, process.options)) {
    return 0;
  }
  const RunOptions& options = process.options;
  const MessageContext messages = MessagesFor(process);
  // With several modes, the first that fails decides the exit code.
  std::uint32_t exitCode = 0;
  const auto keepFirstFailure = [&exitCode](Status status) {
    if (exitCode == 0) {
      exitCode = status.code();
    }
  };
  if (options.help) {
    // Nothing else runs: whoever asks for help has not yet chosen what to do.
    ShowHelp(process.os, process.module);
  } else if (options.install) {
    exitCode = ApplyPatchToProducts(messages, InstallOptionsFor(options), process.temporaryNames,
                                    process.targetProducts, process.currentProductName)
                   .exitCode;
  } else {
    if (options.extract) {
      keepFirstFailure(RunExtractMode(process));
    }
    if (options.patchList) {
      keepFirstFailure(WritePatchList(messages, process.options.patchListPath));
    }
    if (options.list) {
      keepFirstFailure(RunListMode(process));
    }
  }
  process.targetProducts.clear();
  return exitCode;
}

}  // namespace sp
